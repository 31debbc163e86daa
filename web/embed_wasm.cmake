# Writes files into a script OUTPUT as base64: a page opened from the disk may
# not fetch a file beside it, but it runs its scripts.
#
# With WASM (the portable kernel) and WASM_SIMD128 (the SIMD128 kernel): the
# WebAssembly modules. The script hands the page, as BRIVEL_WASM_BASE64, the
# SIMD128 module where the browser validates it and the other elsewhere, and
# names the kernel it chose in BRIVEL_WASM_KERNEL.
# With FILE, NAME and ABOUT (what the bytes are): any other file, as NAME.
function(encode file variable)
  execute_process(COMMAND ${BASE64} -w 0 ${file} OUTPUT_VARIABLE encoded RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "base64 failed on ${file}")
  endif()
  set(${variable} "${encoded}" PARENT_SCOPE)
endfunction()

if(FILE)
  encode(${FILE} encoded)
  file(WRITE ${OUTPUT} "// ${ABOUT}.\nconst ${NAME} =\n  '${encoded}';\n")
  return()
endif()
encode(${WASM} portable)
encode(${WASM_SIMD128} simd128)
file(WRITE ${OUTPUT} "// The converter as WebAssembly modules (built from cli/, camera/ and diagnosis/ by web/CMakeLists.txt).\n"
  "const BRIVEL_WASM_MODULES = {\n"
  "  simd128: '${simd128}',\n"
  "  portable: '${portable}',\n"
  "};\n"
  "// The SIMD128 kernel where this browser has SIMD, else the portable one.\n"
  "const BRIVEL_WASM_KERNEL = WebAssembly.validate(\n"
  "  Uint8Array.from(atob(BRIVEL_WASM_MODULES.simd128), (c) => c.charCodeAt(0))) ? 'simd128' : 'portable';\n"
  "const BRIVEL_WASM_BASE64 = BRIVEL_WASM_MODULES[BRIVEL_WASM_KERNEL];\n")
