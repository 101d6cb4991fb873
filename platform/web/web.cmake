# The web preset: the window program as a page (tarnwell.js + tarnwell.wasm beside index.html)
# and tarnwell-sim as a command-line tool for node, both from the same sources.

target_sources(tarnwell_core PRIVATE platform/web/libc_compat.cpp)
target_compile_options(tarnwell_core PRIVATE
    -include ${CMAKE_CURRENT_SOURCE_DIR}/platform/web/libc_compat.h)

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

set(page_files platform/web/index.html platform/web/page.js platform/web/page.css)
foreach(f ${page_files})
    get_filename_component(name ${f} NAME)
    add_custom_command(TARGET tarnwell POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different
                ${CMAKE_CURRENT_SOURCE_DIR}/${f} $<TARGET_FILE_DIR:tarnwell>/${name})
endforeach()
set_property(TARGET tarnwell APPEND PROPERTY LINK_DEPENDS
             ${CMAKE_CURRENT_SOURCE_DIR}/platform/web/index.html)
