# Installs the korva3 package into a fresh folder and runs an example with it, as a user
# would, with no KORVA3_ variable set (-P script; see CMakeLists.txt).
#   MODE=cmake: cmake --install BUILD --component python; the libraries come along.
#   MODE=pip:   pip install --no-index --no-build-isolation --target (a copy of SOURCE,
#               so the source folder gets no build files); the library from SIM_LIBRARY.
file(REMOVE_RECURSE ${WORK})
if(MODE STREQUAL "cmake")
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --component python --prefix ${WORK}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  set(site ${SITE})
  if(NOT IS_ABSOLUTE ${site})
    set(site ${WORK}/${site})
  endif()
  set(env PYTHONPATH=${site})
else()
  file(COPY ${SOURCE}/ DESTINATION ${WORK}/source PATTERN tests EXCLUDE PATTERN build EXCLUDE
       PATTERN "*.egg-info" EXCLUDE PATTERN __pycache__ EXCLUDE)
  execute_process(COMMAND ${PYTHON} -m pip install -q --no-index --no-build-isolation
                          --no-warn-script-location --target ${WORK}/site ${WORK}/source
                  COMMAND_ERROR_IS_FATAL ANY)
  set(site ${WORK}/site)
  set(env PYTHONPATH=${site} KORVA3_SIM_LIBRARY=${SIM_LIBRARY})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=KORVA3_SIM_LIBRARY --unset=KORVA3_LIBRARY
                        ${env} PYTHONDONTWRITEBYTECODE=1
                        ${PYTHON} -c "import korva3, runpy; assert korva3.__file__.startswith('${site}'), korva3.__file__; runpy.run_path('${EXAMPLE}')"
                COMMAND_ERROR_IS_FATAL ANY)
if(NOT EXISTS ${site}/korva3/py.typed)
  message(FATAL_ERROR "py.typed not installed")
endif()
