# The priority rule dialogs, the categories dialog, the order dialog of a run of
# several tasks, and the password windows. Included from ui/CMakeLists.txt (and by
# the dialogs' own tests when the ui folder has not defined the target).
include_guard(GLOBAL)
add_library(kestrow_dialogs2 STATIC
    ${CMAKE_CURRENT_LIST_DIR}/frmEditCategories.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmEditCategories.h
    ${CMAKE_CURRENT_LIST_DIR}/frmEnterPassword.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmEnterPassword.h
    ${CMAKE_CURRENT_LIST_DIR}/frmOrderTasks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmOrderTasks.h
    ${CMAKE_CURRENT_LIST_DIR}/frmPriorityRule.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmPriorityRule.h
    ${CMAKE_CURRENT_LIST_DIR}/frmPriorityRules.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmPriorityRules.h
    ${CMAKE_CURRENT_LIST_DIR}/frmSetPassword.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmSetPassword.h
)
set_target_properties(kestrow_dialogs2 PROPERTIES AUTOMOC ON)
target_link_libraries(kestrow_dialogs2 PUBLIC kestrow_app Qt6::Widgets)
