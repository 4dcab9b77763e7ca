# wendup_layer(NAME [QT component...] [DEPS target...])
# A layer is every .cpp file of its folder, built as the static library wendup_NAME.
#
# Headers are included as "NAME/file.h". Each layer gets an include folder of its own that holds
# only a link NAME -> its source folder, and passes it on to the layers that link it. So a layer
# sees its own headers and those of the layers it depends on, and an #include of any other layer
# fails to compile.
function(wendup_layer name)
  cmake_parse_arguments(L "" "" "QT;DEPS" ${ARGN})
  set(include_root ${PROJECT_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${include_root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${include_root}/${name} SYMBOLIC)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    add_library(wendup_${name} INTERFACE)
    target_include_directories(wendup_${name} INTERFACE ${include_root})
    target_link_libraries(wendup_${name} INTERFACE ${L_DEPS})
    return()
  endif()
  add_library(wendup_${name} STATIC ${sources})
  target_include_directories(wendup_${name} PUBLIC ${include_root})
  foreach(q IN LISTS L_QT)
    target_link_libraries(wendup_${name} PUBLIC Qt6::${q})
  endforeach()
  target_link_libraries(wendup_${name} PUBLIC ${L_DEPS})
endfunction()

# wendup_test_suite(NAME LIBS...): every .cpp file of the folder in one GoogleTest program.
function(wendup_test_suite name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(test_${name} ${sources})
  target_link_libraries(test_${name} PRIVATE ${ARGN} wendup_testsupport GTest::gtest GTest::gmock)
  gtest_discover_tests(test_${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
