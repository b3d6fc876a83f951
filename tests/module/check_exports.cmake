cmake_minimum_required(VERSION 3.21)
# Checks the dynamic symbol table of the shipped library: the contract's entry points are
# defined and exported, nothing else is, and it needs the Android logging library. NM is the
# target's nm; with STATIC_CXX_RUNTIME the C++ runtime and the unwinder are inside and no shared
# one is needed.
set(contract
  JNI_OnLoad
  JNI_OnUnload
  Java_com_BTBarcodeScannerPackage_BTBarcodeScannerLib_BTBarcodeScannerClass_NativeTrace
  Java_com_kestra_MobileBarcodeScannerPackage_MobileBarcodeScanner_SendBarcode
  GetClassNames GetClassObject DestroyObject SetPlatformCapabilities)
set(optional)

if(NOT NM)
  set(NM nm)
endif()
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(exported "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
  list(APPEND exported ${name})
endforeach()
foreach(name IN LISTS contract)
  if(NOT name IN_LIST exported)
    message(FATAL_ERROR "${name} is not exported")
  endif()
endforeach()
foreach(name IN LISTS exported)
  if(NOT name IN_LIST contract AND NOT name IN_LIST optional)
    message(FATAL_ERROR "exported but not part of the contract: ${name}")
  endif()
endforeach()

execute_process(COMMAND readelf -d ${LIBRARY} OUTPUT_VARIABLE dynamic)
if(NOT dynamic MATCHES "NEEDED[^\n]*liblog")
  message(FATAL_ERROR "the library does not need the Android logging library")
endif()
if(STATIC_CXX_RUNTIME AND dynamic MATCHES "NEEDED[^\n]*(lib(std)?c\\+\\+|libunwind|libgcc_s)")
  message(FATAL_ERROR "the library needs a shared C++ runtime:\n${dynamic}")
endif()
message(STATUS "exports: ${exported}")
