# The confirmation list of a run, the file and folder selection of a task and its
# file mask dialog with the registered file types. Included by the folder that builds
# them (the program, or the tests); defined once however often it is included.
include_guard(GLOBAL)

find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets)
# The help link of the selection dialog.
include(${CMAKE_CURRENT_LIST_DIR}/dialogs1.cmake)

add_library(kestrow_dialogs3 STATIC
    ${CMAKE_CURRENT_LIST_DIR}/frmConfirmChanges.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmConfirmChanges.h
    ${CMAKE_CURRENT_LIST_DIR}/frmFileMask.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmFileMask.h
    ${CMAKE_CURRENT_LIST_DIR}/modFileTypes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/modFileTypes.h
)
set_target_properties(kestrow_dialogs3 PROPERTIES AUTOMOC ON)
target_link_libraries(kestrow_dialogs3 PUBLIC kestrow_app kestrow_dialogs1 Qt6::Widgets)
