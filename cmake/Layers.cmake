# Each folder of the program is one library, and the libraries it links are
# the folders it may include from. The folder's parent is not put on the
# include path (it holds every folder, app/ too): instead each folder gets an
# include directory of its own that holds only a link to it, and a library
# sees exactly the folders of itself and of the libraries it links. An
# include from a folder the library does not depend on fails to compile, as a
# call into one fails to link.
function(vorn_folder_include target folder)
    set(root ${CMAKE_BINARY_DIR}/layers/${folder})
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    target_include_directories(${target} PUBLIC ${root})
endfunction()

# vorn_add_core_library(NAME FOLDER SOURCES...): a library below the UI. It
# refuses Qt Widgets headers (cmake/NoWidgets.h) and app/ headers (above).
function(vorn_add_core_library name folder)
    add_library(${name} STATIC ${ARGN})
    vorn_folder_include(${name} ${folder})
    target_compile_options(${name} PRIVATE -include ${CMAKE_SOURCE_DIR}/cmake/NoWidgets.h)
    vorn_set_warnings(${name})
endfunction()

# vorn_add_module(NAME SOURCES... LIBS...): a module in lib/vorn95/ beside the
# programs' bin folder (in the build tree as installed), loaded at run time
# only by the runs that need the large libraries it links. Its interface is
# one plain function; what it takes from our static libraries is its own
# hidden copy, so the program's is never replaced.
function(vorn_add_module name)
    cmake_parse_arguments(M "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} MODULE ${M_SOURCES})
    target_link_libraries(${name} PRIVATE ${M_LIBS})
    set_target_properties(${name} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/vorn95
        CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
    target_link_options(${name} PRIVATE -Wl,--exclude-libs,ALL -Wl,--as-needed)
    # Every symbol found at link time; sanitizer runtimes come with the program.
    if(NOT VORN_SANITIZE)
        target_link_options(${name} PRIVATE -Wl,-z,defs)
    endif()
    vorn_set_warnings(${name})
endfunction()
