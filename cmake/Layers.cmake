# Logic targets hold the program's operations and must build without Qt, so that every page
# runs and is tested without a display. tr805q_logic_library() creates such a target and
# checks at the end of configuration that nothing linked Qt into it.
function(tr805q_logic_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  set_property(GLOBAL APPEND PROPERTY TR805Q_LOGIC_TARGETS ${name})
endfunction()

function(tr805q_check_logic_targets)
  get_property(targets GLOBAL PROPERTY TR805Q_LOGIC_TARGETS)
  foreach(t IN LISTS targets)
    get_target_property(libs ${t} LINK_LIBRARIES)
    if(libs)
      foreach(l IN LISTS libs)
        if(l MATCHES "^Qt[0-9]*::")
          message(FATAL_ERROR "Logic target ${t} links ${l}; Qt belongs in *_ui targets and app")
        endif()
      endforeach()
    endif()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL tr805q_check_logic_targets)

# One library per folder, made of the folder's own .cpp files (not those of ui/ or tool/).
# A folder with no sources yet gives an interface target so that others can link it already.
# Further arguments are the targets it depends on.
function(tr805q_folder_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    tr805q_logic_library(${name} ${sources})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# One GoogleTest executable per test folder, made of every .cpp in it.
function(tr805q_test_folder name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARGN} testsupport GTest::gtest GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TR805Q_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
endfunction()
