# The Windows build's skin: every picture rendered from its SVG at build time (rsvg-convert,
# ImageMagick's convert) into bitmap resources at 100, 150 and 200 %, and the icon, for
# kestrow.exe. The SVG comes from the program's own picture table (Pictures.cpp), written out by
# kestrow-skin-svg, a tool built for the machine the build runs on.
# In: skin_cpp (the embedded skin files). Out: kestrow_skin_rc, the resource script to include.
set(skin_tool_sources
    ${CMAKE_CURRENT_SOURCE_DIR}/skin/SkinSvgWriter.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/skin/Pictures.cpp
    ${skin_cpp})
if(CMAKE_CROSSCOMPILING)
    find_program(KESTROW_HOST_CXX NAMES g++ c++ clang++ REQUIRED)
    set(skin_tool ${CMAKE_CURRENT_BINARY_DIR}/kestrow-skin-svg)
    add_custom_command(
        OUTPUT ${skin_tool}
        COMMAND ${KESTROW_HOST_CXX} -std=c++20 -O1 -Wall -Wextra -Werror
                -I${PROJECT_SOURCE_DIR}/src -I${PROJECT_SOURCE_DIR} ${skin_tool_sources}
                -o ${skin_tool}
        DEPENDS ${skin_tool_sources}
        COMMENT "Building kestrow-skin-svg for this machine")
else()
    add_executable(kestrow-skin-svg ${skin_tool_sources})
    set(skin_tool $<TARGET_FILE:kestrow-skin-svg>)
endif()

find_program(KESTROW_RSVG_CONVERT rsvg-convert)
find_program(KESTROW_IM_CONVERT convert)
set(kestrow_skin_rc ${CMAKE_CURRENT_BINARY_DIR}/kestrow-skin.rc)
add_custom_command(
    OUTPUT ${kestrow_skin_rc}
    COMMAND ${CMAKE_COMMAND} -DTOOL=${skin_tool} -DOUT_DIR=${CMAKE_CURRENT_BINARY_DIR}/skin
            -DRSVG=${KESTROW_RSVG_CONVERT} -DCONVERT=${KESTROW_IM_CONVERT} -DICONS=128
            -DOUTPUT=${kestrow_skin_rc} -P ${CMAKE_CURRENT_SOURCE_DIR}/skin/RenderSkin.cmake
    DEPENDS ${skin_tool} ${CMAKE_CURRENT_SOURCE_DIR}/skin/RenderSkin.cmake ${skin_files}
    COMMENT "Rendering the skin's pictures at 100, 150 and 200 % and the icon")
