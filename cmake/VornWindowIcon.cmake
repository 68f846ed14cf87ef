# A window's icon as PNG pictures drawn from its SVG at build time, at the sizes the window system
# is given (16, 32, 64 and 128 pixels), in target's resources under /icons/NAME/SIZE.png: a
# window then never loads Qt's SVG library and plugins at its start for its icon. The SVG itself
# stays what the desktop entries name.
add_executable(vorn-icon-pictures ${CMAKE_CURRENT_LIST_DIR}/../packaging/iconpictures.cpp)
target_link_libraries(vorn-icon-pictures PRIVATE Qt6::Gui)
# What a window reads its icon with.
add_library(vorn_window_icon STATIC ${CMAKE_CURRENT_LIST_DIR}/../packaging/windowicon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../packaging/windowicon.h)
target_link_libraries(vorn_window_icon PUBLIC Qt6::Gui)

function(vorn_add_window_icon target name)
  set(svg ${PROJECT_SOURCE_DIR}/packaging/${name}.svg)
  set(folder ${CMAKE_CURRENT_BINARY_DIR}/icons/${name})
  set(pictures)
  foreach(size 16 32 64 128)
    add_custom_command(OUTPUT ${folder}/${size}.png
      COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
      COMMAND vorn-icon-pictures ${svg} ${folder}/${size}.png ${size}
      DEPENDS vorn-icon-pictures ${svg}
      COMMENT "Drawing ${name}'s icon at ${size} pixels" VERBATIM)
    list(APPEND pictures ${folder}/${size}.png)
  endforeach()
  qt_add_resources(${target} "${name}_icon" PREFIX /icons/${name} BASE ${folder} FILES ${pictures})
  target_link_libraries(${target} PUBLIC vorn_window_icon)
endfunction()
