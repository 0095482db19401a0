# Builds a site template: a shared object with the SDK headers, hidden symbols and no
# GNU unique symbols, so dlclose really unloads it and a reload starts afresh.
# trawlex_add_template(target OUTPUT_NAME file.orp SOURCES ... [DESTINATION dir])
function(trawlex_add_template target)
    cmake_parse_arguments(T "" "OUTPUT_NAME;DESTINATION" "SOURCES" ${ARGN})
    add_library(${target} MODULE ${T_SOURCES})
    target_link_libraries(${target} PRIVATE trawlex_sdk)
    target_compile_features(${target} PRIVATE cxx_std_20)
    target_compile_options(${target} PRIVATE -fvisibility=hidden -fvisibility-inlines-hidden -fno-gnu-unique -Wall -Wextra)
    if(NOT T_DESTINATION)
        set(T_DESTINATION ${TRAWLEX_PROGRAM_DIR})
    endif()
    set_target_properties(${target} PROPERTIES
        PREFIX "" SUFFIX "" OUTPUT_NAME ${T_OUTPUT_NAME}
        LIBRARY_OUTPUT_DIRECTORY ${T_DESTINATION}
        AUTOMOC OFF)
endfunction()
