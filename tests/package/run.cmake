# The package test: installs the built library into a stage folder, then
# configures, builds and runs the consumer project against that install with
# the library's own compiler and flags.
# Takes -D BUILD_DIR, STAGE_DIR, CONSUMER_SOURCE_DIR, CONSUMER_BINARY_DIR,
# GENERATOR, CXX_COMPILER, COMPILER_LAUNCHER, BUILD_TYPE and CXX_FLAGS.

function(run)
  execute_process(COMMAND ${ARGN} COMMAND_ECHO STDOUT RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "exited with ${result}")
  endif()
endfunction()

file(REMOVE_RECURSE ${STAGE_DIR} ${CONSUMER_BINARY_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${STAGE_DIR})
run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE_DIR} -B ${CONSUMER_BINARY_DIR} -G ${GENERATOR}
  -DCMAKE_PREFIX_PATH=${STAGE_DIR} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
  -DCMAKE_CXX_COMPILER_LAUNCHER=${COMPILER_LAUNCHER} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
  -DCMAKE_CXX_FLAGS=${CXX_FLAGS} -DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS})
run(${CMAKE_COMMAND} --build ${CONSUMER_BINARY_DIR})
run(${CONSUMER_BINARY_DIR}/consumer_cmake)
run(${CONSUMER_BINARY_DIR}/consumer_pkgconfig)
