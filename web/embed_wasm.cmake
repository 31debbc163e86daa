# Writes the WebAssembly module WASM into the script OUTPUT as base64: a page
# opened from the disk may not fetch a file beside it, but it runs its scripts.
# With NAME (and ABOUT, what the bytes are), any other file the same way.
if(NOT NAME)
  set(NAME BRIVEL_WASM_BASE64)
  set(ABOUT "The converter as a WebAssembly module (built from cli/ and camera/ by web/CMakeLists.txt)")
endif()
execute_process(COMMAND ${BASE64} -w 0 ${WASM} OUTPUT_VARIABLE encoded RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "base64 failed on ${WASM}")
endif()
file(WRITE ${OUTPUT} "// ${ABOUT}.\nconst ${NAME} =\n  '${encoded}';\n")
