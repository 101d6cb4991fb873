# The web preset: the window program as a page (tarnwell.js + tarnwell.wasm beside index.html,
# with tarnwell-one-thread.js + .wasm for pages that cannot have threads) and tarnwell-sim as a
# command-line tool for node, all from the same sources.

# Threads are emscripten's pthreads: Web Workers sharing the module's memory, which needs a
# SharedArrayBuffer (node always has one; a page only when served cross-origin isolated). Every
# object of a threaded module is compiled with -pthread. The workers start with the module,
# before main: a thread asked for later could start only after the caller handed the browser
# back its event loop, which a step never does. So the pool has at most web_threads threads,
# the caller included (base/workers.cpp cuts a larger count), and a thread beyond the workers
# is refused (STRICT=2) rather than waited for.
set(web_threads 8)
math(EXPR web_workers "${web_threads} - 1")
# Memory that can grow, shared, makes the runtime's JavaScript check the heap at every access,
# which slows the page's GL emulation where it copies client arrays value by value (mode 0 at
# 10,000 points took about 2 ms a frame to draw instead of 0.4 ms in headless chromium, until
# the points went to it interleaved: render/particles.cpp). A fixed size would instead stop the page
# where the settings need more (window_size goes to 16384, and a screenshot is that square), so
# the memory grows; said here once instead of at every link.
set(thread_options -pthread -sPTHREAD_POOL_SIZE=${web_workers} -sPTHREAD_POOL_SIZE_STRICT=2
    -Wno-pthreads-mem-growth)

# The core's web-only parts, for the threaded core and the page's one-thread copy.
function(web_core target)
    target_sources(${target} PRIVATE platform/web/libc/libc_compat.cpp)
    target_compile_options(${target} PRIVATE
        -include ${CMAKE_CURRENT_SOURCE_DIR}/platform/web/libc/libc_compat.h)
endfunction()
web_core(tarnwell_core)
foreach(target tarnwell_core tarnwell_gl)
    target_compile_options(${target} PRIVATE -pthread)
endforeach()
target_compile_definitions(tarnwell_core PRIVATE TARNWELL_WEB_THREADS=${web_threads})

# A page that is not cross-origin isolated has no SharedArrayBuffer and cannot even load a
# threaded module, so it gets the same program built without threads (page.js chooses).
add_library(tarnwell_core_one_thread STATIC ${core_sources} ${process_source})
target_include_directories(tarnwell_core_one_thread PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
web_core(tarnwell_core_one_thread)
add_library(tarnwell_gl_one_thread STATIC ${gl_sources})
target_link_libraries(tarnwell_gl_one_thread PUBLIC tarnwell_core_one_thread)
add_executable(tarnwell-one-thread app/main/tarnwell.cpp)
target_link_libraries(tarnwell-one-thread PRIVATE tarnwell_gl_one_thread)

# Optimised links run the runtime's JavaScript minifier, which needs Debian's node modules.
set_property(TARGET tarnwell tarnwell-one-thread tarnwell-sim PROPERTY CXX_LINKER_LAUNCHER
             ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)

# Fixed-function GL and GLUT through the runtime's emulation on WebGL. The page hands the
# settings in through the in-memory file system before main runs; when main returns (refused
# settings) the runtime exits, so the page learns the status. GL stays on the browser's main
# thread with main and the GLUT loop; the workers only run the step's lanes. A threaded module
# starts with room for the largest count, so its memory rarely has to grow.
foreach(page tarnwell tarnwell-one-thread)
    target_link_options(${page} PRIVATE
        -sLEGACY_GL_EMULATION=1 -lglut -lGL
        -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1 -sFORCE_FILESYSTEM=1
        "-sEXPORTED_RUNTIME_METHODS=['FS','addRunDependency','removeRunDependency']")
endforeach()
target_link_options(tarnwell PRIVATE ${thread_options} -sENVIRONMENT=web,worker
                    -sINITIAL_MEMORY=64MB)
target_link_options(tarnwell-one-thread PRIVATE -sENVIRONMENT=web)

# Real files through node's own file system, so --config and --dump take ordinary paths.
# Node has a fetch() that cannot read local files, so the module is compiled synchronously
# from disk instead of streamed.
target_link_options(tarnwell-sim PRIVATE ${thread_options}
    -sNODERAWFS=1 -sENVIRONMENT=node -sEXIT_RUNTIME=1 -sWASM_ASYNC_COMPILATION=0
    -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=4GB -sINITIAL_MEMORY=64MB)

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
# Building the page's two programs alone (run.sh --web) brings everything the page loads.
add_dependencies(tarnwell page_files)
add_dependencies(tarnwell-one-thread page_files scene_files)

# The page in headless chromium and the node tool against the native build. The browser tests
# run one at a time: each starts a browser whose software rasteriser wants a core of its own.
enable_testing()
set(web_tests ${CMAKE_CURRENT_SOURCE_DIR}/tests/web)
add_test(NAME web.same_bits COMMAND bash ${web_tests}/same_bits.sh ${CMAKE_CURRENT_BINARY_DIR}
                                    ${CMAKE_CURRENT_SOURCE_DIR})
set_tests_properties(web.same_bits PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 900 LABELS web)
add_test(NAME web.simd COMMAND bash ${web_tests}/simd.sh ${CMAKE_CURRENT_BINARY_DIR})
set_tests_properties(web.simd PROPERTIES LABELS web)
file(GLOB browser_tests CONFIGURE_DEPENDS ${web_tests}/*_test.py)
foreach(script ${browser_tests})
    get_filename_component(name ${script} NAME_WE)
    string(REGEX REPLACE "_test$" "" name ${name})
    # Debian's own python3: python3-websockets is installed for it.
    add_test(NAME browser.${name} COMMAND /usr/bin/python3 ${script} ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(browser.${name} PROPERTIES TIMEOUT 600 LABELS browser
                         RESOURCE_LOCK browser)
endforeach()
