# Shared helpers for the project's targets.

# Warnings are errors for everything the project writes.
function(marrowlink_target target)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${MARROWLINK_WARNINGS}>)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR})
endfunction()
