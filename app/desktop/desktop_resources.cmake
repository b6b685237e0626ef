# The program's own icons in a Qt resource: the application icon (the one the
# desktop menu shows) and the eight toolbar icons.
target_link_libraries(brevin_shell PUBLIC Qt6::Svg)
set_source_files_properties(${PROJECT_SOURCE_DIR}/packaging/org.brevin.brevin.svg
                            PROPERTIES QT_RESOURCE_ALIAS brevin.svg)
qt_add_resources(brevin_shell "brevin_icons"
  PREFIX "/brevin"
  FILES ${PROJECT_SOURCE_DIR}/packaging/org.brevin.brevin.svg)
qt_add_resources(brevin_shell "brevin_toolbar_icons"
  PREFIX "/brevin/toolbar"
  BASE desktop/icons
  FILES desktop/icons/exit.svg desktop/icons/refresh.svg desktop/icons/open.svg desktop/icons/save.svg
        desktop/icons/print.svg desktop/icons/copy.svg desktop/icons/find.svg desktop/icons/download.svg
        desktop/icons/back.svg desktop/icons/forward.svg)
