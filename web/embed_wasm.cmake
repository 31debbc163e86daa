# Writes the WebAssembly modules WASM (the portable kernel) and WASM_SIMD128
# (the SIMD128 kernel) into the script OUTPUT as base64: a page opened from the
# disk may not fetch a file beside it, but it runs its scripts. The script
# hands the page, as BRIVEL_WASM_BASE64, the SIMD128 module where the browser
# validates it and the other elsewhere, and names the kernel it chose in
# BRIVEL_WASM_KERNEL.
foreach(module WASM WASM_SIMD128)
  execute_process(COMMAND ${BASE64} -w 0 ${${module}} OUTPUT_VARIABLE ${module}_encoded
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "base64 failed on ${${module}}")
  endif()
endforeach()
file(WRITE ${OUTPUT} "// The converter as WebAssembly modules (built from cli/ and camera/ by web/CMakeLists.txt).\n"
  "const BRIVEL_WASM_MODULES = {\n"
  "  simd128: '${WASM_SIMD128_encoded}',\n"
  "  portable: '${WASM_encoded}',\n"
  "};\n"
  "// The SIMD128 kernel where this browser has SIMD, else the portable one.\n"
  "const BRIVEL_WASM_KERNEL = WebAssembly.validate(\n"
  "  Uint8Array.from(atob(BRIVEL_WASM_MODULES.simd128), (c) => c.charCodeAt(0))) ? 'simd128' : 'portable';\n"
  "const BRIVEL_WASM_BASE64 = BRIVEL_WASM_MODULES[BRIVEL_WASM_KERNEL];\n")
