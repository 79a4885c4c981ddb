# The logo's chunks are generated at build time by tools/logo/make_logo.cpp,
# which must run on the build machine. A native build makes it a target of its
# own; a cross build compiles it with the build machine's compiler
# (MARROWLINK_BUILD_CXX), unless MARROWLINK_LOGO_GENERATOR names one already built.
# Sets MARROWLINK_LOGO_SOURCE to the generated .cpp.
set(MARROWLINK_LOGO_GENERATOR "" CACHE FILEPATH "A prebuilt marrowlink-logo for the build machine (optional)")
set(marrowlink_logo_program ${PROJECT_SOURCE_DIR}/tools/logo/make_logo.cpp)
set(MARROWLINK_LOGO_SOURCE ${PROJECT_BINARY_DIR}/generated/logo_chunks.cpp)

if(MARROWLINK_LOGO_GENERATOR)
  set(marrowlink_logo_command ${MARROWLINK_LOGO_GENERATOR})
  set(marrowlink_logo_depends ${MARROWLINK_LOGO_GENERATOR})
elseif(NOT CMAKE_CROSSCOMPILING)
  add_executable(marrowlink-logo ${marrowlink_logo_program})
  target_compile_options(marrowlink-logo PRIVATE ${MARROWLINK_WARNINGS})
  set(marrowlink_logo_command $<TARGET_FILE:marrowlink-logo>)
  set(marrowlink_logo_depends marrowlink-logo)
else()
  find_program(MARROWLINK_BUILD_CXX NAMES c++ g++ clang++ NO_CMAKE_FIND_ROOT_PATH
    DOC "C++ compiler of the build machine, for the logo generator")
  if(NOT MARROWLINK_BUILD_CXX)
    message(FATAL_ERROR "Cross build: set MARROWLINK_BUILD_CXX or MARROWLINK_LOGO_GENERATOR for the logo generator")
  endif()
  set(marrowlink_logo_command ${PROJECT_BINARY_DIR}/generated/marrowlink-logo-build)
  add_custom_command(OUTPUT ${marrowlink_logo_command}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/generated
    COMMAND ${MARROWLINK_BUILD_CXX} -std=c++20 -O2 -o ${marrowlink_logo_command} ${marrowlink_logo_program}
    DEPENDS ${marrowlink_logo_program}
    COMMENT "Building the logo generator for the build machine"
    VERBATIM)
  set(marrowlink_logo_depends ${marrowlink_logo_command})
endif()

add_custom_command(OUTPUT ${MARROWLINK_LOGO_SOURCE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/generated
  COMMAND ${marrowlink_logo_command} ${MARROWLINK_LOGO_SOURCE}
  DEPENDS ${marrowlink_logo_depends} ${marrowlink_logo_program}
  COMMENT "Drawing the logo into its chunks"
  VERBATIM)
