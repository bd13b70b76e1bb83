# Every library reaches the headers of its own folder through an include root of its own, and sees
# another folder's headers only by linking that folder's library. An include across a line the
# layers forbid therefore fails to build. Includes name their folder: "model/CNoteBook.h".
function(pelmora_layer target folder)
    set(root ${CMAKE_BINARY_DIR}/layers/${target})
    file(MAKE_DIRECTORY ${root}/${folder})
    # One link per header rather than one for the folder, so that a room inside this folder
    # (platform/qt inside platform) stays out of reach.
    file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h)
    foreach(header IN LISTS headers)
        get_filename_component(name ${header} NAME)
        if(NOT EXISTS ${root}/${folder}/${name})
            file(CREATE_LINK ${header} ${root}/${folder}/${name} SYMBOLIC)
        endif()
    endforeach()
    target_include_directories(${target} PUBLIC ${root})
endfunction()
