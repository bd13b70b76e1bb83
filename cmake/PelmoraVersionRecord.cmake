# The fixed version record, linked into each program file. The parts can be overridden for test
# probes.
set(PELMORA_VERSION_PARTS ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH}
    ${PROJECT_VERSION_TWEAK})

function(pelmora_add_version_record target)
    set(numbers ${PELMORA_VERSION_PARTS})
    if(ARGC GREATER 1)
        set(numbers ${ARGN})
    endif()
    list(GET numbers 0 major)
    list(GET numbers 1 minor)
    list(GET numbers 2 patch)
    list(GET numbers 3 tweak)
    set(lib ${target}_version_record)
    add_library(${lib} OBJECT ${PROJECT_SOURCE_DIR}/platform/desktop/VersionRecord.cpp)
    target_link_libraries(${lib} PRIVATE pelmora_desktop)
    target_compile_definitions(${lib} PRIVATE
        PELMORA_VERSION_MAJOR=${major} PELMORA_VERSION_MINOR=${minor}
        PELMORA_VERSION_PATCH=${patch} PELMORA_VERSION_TWEAK=${tweak})
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:${lib}>)
endfunction()
