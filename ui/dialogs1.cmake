# The restore window, the log viewer and the help links: Qt Widgets windows that the
# main window opens. Included by the folder that builds them (the program, or the
# tests); defined once however often it is included.
include_guard(GLOBAL)

find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets PrintSupport)

add_library(kestrow_dialogs1 STATIC
    ${CMAKE_CURRENT_LIST_DIR}/HelpLink.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HelpLink.h
    ${CMAKE_CURRENT_LIST_DIR}/frmLog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmLog.h
    ${CMAKE_CURRENT_LIST_DIR}/frmRestore.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frmRestore.h
)
set_target_properties(kestrow_dialogs1 PROPERTIES AUTOMOC ON)
target_link_libraries(kestrow_dialogs1 PUBLIC kestrow_app Qt6::Widgets Qt6::PrintSupport)

# The help pages, copied beside the programs of the build tree, where the program
# folder's help/ is looked for (the install puts them in the installed program folder).
file(GLOB kestrow_help_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/help/*)
set(kestrow_help_copies)
foreach(page ${kestrow_help_pages})
    get_filename_component(name ${page} NAME)
    set(copy ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/help/${name})
    add_custom_command(OUTPUT ${copy}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${page} ${copy}
        DEPENDS ${page}
        COMMENT "Copying help page ${name}")
    list(APPEND kestrow_help_copies ${copy})
endforeach()
add_custom_target(kestrow_help ALL DEPENDS ${kestrow_help_copies})
add_dependencies(kestrow_dialogs1 kestrow_help)
