# Renders the skin's pictures for the Windows build and writes the resource script that builds
# them into kestrow.exe. Run as:
#   cmake -DTOOL=kestrow-skin-svg -DOUT_DIR=... -DRSVG=rsvg-convert -DCONVERT=convert
#         -DICONS=128 -DOUTPUT=kestrow-skin.rc -P RenderSkin.cmake
# Every picture becomes a bitmap (BMP3) at 100, 150 and 200 %, resource number picture + 1000 per
# scale step (as BitmapResourceId in dialogkit/WindowsMapping.h): 32 bits with alpha, or 24 bits
# where ImageMagick finds no transparent part (the background); each picture in ICONS also
# becomes an icon (.ico, 16 to 256 pixels) of its own number.
foreach(program RSVG CONVERT)
    if(NOT ${program} OR NOT EXISTS "${${program}}")
        message(FATAL_ERROR "Rendering the skin needs rsvg-convert (Debian: librsvg2-bin) and "
                            "ImageMagick's convert (Debian: imagemagick); ${program} is missing")
    endif()
endforeach()

file(REMOVE_RECURSE ${OUT_DIR})
file(MAKE_DIRECTORY ${OUT_DIR}/svg ${OUT_DIR}/png ${OUT_DIR}/bmp)

execute_process(COMMAND ${TOOL} ${OUT_DIR}/svg OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${TOOL} failed: ${status}")
endif()

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status ERROR_VARIABLE error)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${ARGN} failed (${status}): ${error}")
    endif()
endfunction()

set(scales 100 150 200)
set(rc "// Written by RenderSkin.cmake: the skin's pictures at each scale, and the icons.\n")
string(REPLACE "\n" ";" lines "${listing}")
foreach(line IN LISTS lines)
    if(NOT line MATCHES "^([0-9]+) ([0-9]+) ([0-9]+)$")
        continue()
    endif()
    set(id ${CMAKE_MATCH_1})
    set(width ${CMAKE_MATCH_2})
    set(height ${CMAKE_MATCH_3})
    set(step 0)
    foreach(scale IN LISTS scales)
        # The picture's size at the scale, rounded to the nearest pixel.
        math(EXPR w "(${width} * ${scale} + 50) / 100")
        math(EXPR h "(${height} * ${scale} + 50) / 100")
        math(EXPR resource "${id} + 1000 * ${step}")
        set(png ${OUT_DIR}/png/${id}-${scale}.png)
        set(bmp ${OUT_DIR}/bmp/${id}-${scale}.bmp)
        run(${RSVG} -w ${w} -h ${h} -o ${png} ${OUT_DIR}/svg/${id}.svg)
        run(${CONVERT} ${png} -define bmp3:alpha=true BMP3:${bmp})
        string(APPEND rc "${resource} BITMAP \"${bmp}\"\n")
        math(EXPR step "${step} + 1")
    endforeach()
endforeach()

foreach(id IN LISTS ICONS)
    set(pngs "")
    foreach(size 16 20 24 32 40 48 64 256)
        set(png ${OUT_DIR}/png/icon-${id}-${size}.png)
        run(${RSVG} -w ${size} -h ${size} -o ${png} ${OUT_DIR}/svg/${id}.svg)
        list(APPEND pngs ${png})
    endforeach()
    run(${CONVERT} ${pngs} ${OUT_DIR}/${id}.ico)
    string(APPEND rc "${id} ICON \"${OUT_DIR}/${id}.ico\"\n")
endforeach()

file(WRITE ${OUTPUT} "${rc}")
