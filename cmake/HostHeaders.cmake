# CLI11 and nlohmann-json for a cross build: both are header-only, so the host's Debian packages
# (libcli11-dev, nlohmann-json3-dev) serve any target. Only their two folders are copied into the
# build tree and put on the include path, never the host's whole /usr/include, whose C library
# headers would shadow the target's.
set(KESTROW_HOST_INCLUDE_DIR /usr/include CACHE PATH
    "where the host's CLI and nlohmann header folders are")
set(kestrow_host_headers ${CMAKE_BINARY_DIR}/host-headers)
foreach(folder CLI nlohmann)
    if(NOT EXISTS ${KESTROW_HOST_INCLUDE_DIR}/${folder})
        message(FATAL_ERROR "${KESTROW_HOST_INCLUDE_DIR}/${folder} is missing: install "
                            "libcli11-dev and nlohmann-json3-dev")
    endif()
    file(COPY ${KESTROW_HOST_INCLUDE_DIR}/${folder} DESTINATION ${kestrow_host_headers})
endforeach()

add_library(CLI11::CLI11 INTERFACE IMPORTED)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
foreach(target CLI11::CLI11 nlohmann_json::nlohmann_json)
    # An imported target's folders are system ones: the libraries' own warnings stay theirs.
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${kestrow_host_headers})
endforeach()
