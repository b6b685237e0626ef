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
  BASE icons
  FILES icons/exit.svg icons/refresh.svg icons/open.svg icons/save.svg
        icons/print.svg icons/copy.svg icons/find.svg icons/download.svg)
