# The web preset: the window program as a page (tarnwell.js + tarnwell.wasm beside index.html)
# and tarnwell-sim as a command-line tool for node, both from the same sources.

target_sources(tarnwell_core PRIVATE platform/web/libc/libc_compat.cpp)
target_compile_options(tarnwell_core PRIVATE
    -include ${CMAKE_CURRENT_SOURCE_DIR}/platform/web/libc/libc_compat.h)

# Optimised links run the runtime's JavaScript minifier, which needs Debian's node modules.
set_property(TARGET tarnwell tarnwell-sim PROPERTY CXX_LINKER_LAUNCHER
             ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)

# Fixed-function GL and GLUT through the runtime's emulation on WebGL. The page hands the
# settings in through the in-memory file system before main runs; when main returns (refused
# settings) the runtime exits, so the page learns the status.
target_link_options(tarnwell PRIVATE
    -sLEGACY_GL_EMULATION=1 -lglut -lGL
    -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1 -sFORCE_FILESYSTEM=1
    "-sEXPORTED_RUNTIME_METHODS=['FS','addRunDependency','removeRunDependency']")

# Real files through node's own file system, so --config and --dump take ordinary paths.
# Node has a fetch() that cannot read local files, so the module is compiled synchronously
# from disk instead of streamed.
target_link_options(tarnwell-sim PRIVATE
    -sNODERAWFS=1 -sENVIRONMENT=node -sEXIT_RUNTIME=1 -sWASM_ASYNC_COMPILATION=0
    -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=4GB)

# The page's own files, copied on every build (not only when the program is linked again).
set(page_files app/page/index.html app/page/page.js app/page/page.css
    data/config.ini data/vs.glsl data/fs.glsl)
set(page_outputs)
foreach(f ${page_files})
    get_filename_component(name ${f} NAME)
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}
        COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/${f}
                ${CMAKE_CURRENT_BINARY_DIR}/${name}
        DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${f})
    list(APPEND page_outputs ${CMAKE_CURRENT_BINARY_DIR}/${name})
endforeach()
# A page cannot list a folder: scenes/index.txt names the scenes the main list copies there.
set(scene_index "")
foreach(f ${scene_files})
    get_filename_component(scene_name ${f} NAME_WE)
    string(APPEND scene_index "${scene_name}\n")
endforeach()
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/scenes/index.txt "${scene_index}")
add_custom_target(page_files ALL DEPENDS ${page_outputs})

# The page in headless chromium and the node tool against the native build. The browser tests
# run one at a time: each starts a browser whose software rasteriser wants a core of its own.
enable_testing()
set(web_tests ${CMAKE_CURRENT_SOURCE_DIR}/tests/web)
add_test(NAME web.same_bits COMMAND bash ${web_tests}/same_bits.sh ${CMAKE_CURRENT_BINARY_DIR}
                                    ${CMAKE_CURRENT_SOURCE_DIR})
set_tests_properties(web.same_bits PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900 LABELS web)
file(GLOB browser_tests CONFIGURE_DEPENDS ${web_tests}/*_test.py)
foreach(script ${browser_tests})
    get_filename_component(name ${script} NAME_WE)
    string(REGEX REPLACE "_test$" "" name ${name})
    # Debian's own python3: python3-websockets is installed for it.
    add_test(NAME browser.${name} COMMAND /usr/bin/python3 ${script} ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(browser.${name} PROPERTIES TIMEOUT 600 LABELS browser
                         RESOURCE_LOCK browser)
endforeach()
