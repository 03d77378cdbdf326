# The browser's build (preset web): each profile as one self-contained page,
# build/web/update.html and build/web/update-gd32.html, with the program's
# JavaScript and WebAssembly inside. And, for the page's tests, the emulated
# device as a module of its own (stand_in.js).
set(web_link_options
  -sASYNCIFY -sSINGLE_FILE=1 -sMODULARIZE=1 -sENVIRONMENT=web -sINVOKE_RUN=0 -sEXIT_RUNTIME=0
  -sFORCE_FILESYSTEM=1 -sALLOW_MEMORY_GROWTH=1 "-sEXPORTED_RUNTIME_METHODS=['ccall','FS']")

function(add_update_page name gd32 title program_text)
  add_executable(${name} app/main_web.cpp)
  target_compile_definitions(${name} PRIVATE UPDATE_PROFILE_GD32=${gd32})
  target_link_libraries(${name} PRIVATE app midi_backend_native console_platform)
  target_link_options(${name} PRIVATE ${web_link_options} -sEXPORT_NAME=createUpdate)
  set_target_properties(${name} PROPERTIES SUFFIX ".js")
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${name}.html
    COMMAND ${CMAKE_COMMAND} -DTEMPLATE=${PROJECT_SOURCE_DIR}/app/web/page.html
            -DPROGRAM=$<TARGET_FILE:${name}> -DOUT=${PROJECT_BINARY_DIR}/${name}.html
            "-DTITLE=${title}" "-DPROGRAM_TEXT=${program_text}" -P ${PROJECT_SOURCE_DIR}/cmake/web-page.cmake
    DEPENDS ${name} app/web/page.html cmake/web-page.cmake VERBATIM)
  add_custom_target(${name}_page ALL DEPENDS ${PROJECT_BINARY_DIR}/${name}.html)
endfunction()

add_update_page(update 0 "Calvenor Pro firmware update" "For Calvenor Pro standard units.")
add_update_page(update-gd32 1 "Calvenor Pro firmware update (GD32)" "For Calvenor Pro units with the GD32 controller.")

# The emulated device behind the page's Web MIDI stand-in, for its tests.
add_executable(stand_in tests/web/stand_in.cpp sim/device.cpp tests/sim_script.cpp)
uses_layers(stand_in PRIVATE sim tests backends)
target_link_options(stand_in PRIVATE -sSINGLE_FILE=1 -sMODULARIZE=1 -sENVIRONMENT=web -sEXPORT_NAME=createStandIn
  "-sEXPORTED_RUNTIME_METHODS=['ccall']")
set_target_properties(stand_in PROPERTIES SUFFIX ".js")
