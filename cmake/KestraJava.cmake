# The JDK of the target architecture, in one place: its JNI headers (for the library), its
# libjvm (for every program that starts a VM) and a Java compiler, plus kestra_java_classes().
#
# KESTRA_JAVA_HOME names the JDK; a toolchain file or preset sets it for its architecture,
# and without one the build machine's x86_64 JDK is used.
if(NOT KESTRA_JAVA_HOME)
  set(KESTRA_JAVA_HOME /usr/lib/jvm/java-17-openjdk-amd64 CACHE PATH "JDK of the target architecture")
endif()

# The JNI headers come from the build machine's JDK where the target architecture has only a
# Java runtime (the ARM builds): jni_md.h picks its types by pointer size, so it serves every
# architecture.
find_path(JNI_INCLUDE_DIR jni.h
  PATHS ${KESTRA_JAVA_HOME}/include /usr/lib/jvm/java-17-openjdk-amd64/include
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(JNI_MD_INCLUDE_DIR jni_md.h
  PATHS ${KESTRA_JAVA_HOME}/include/linux /usr/lib/jvm/java-17-openjdk-amd64/include/linux
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)

# kestra_find_java_vm(): sets KESTRA_LIBJVM (the VM the programs open) and KESTRA_JAVAC. Only
# builds with programs that start a VM need them. Byte code does not depend on the
# architecture, so the compiler is the build machine's where there is one: a JDK of another
# architecture may not run here.
macro(kestra_find_java_vm)
  find_file(KESTRA_LIBJVM libjvm.so
    PATHS ${KESTRA_JAVA_HOME}/lib/server ${KESTRA_JAVA_HOME}/lib/client ${KESTRA_JAVA_HOME}/lib/zero
    NO_DEFAULT_PATH REQUIRED)
  find_program(KESTRA_JAVAC javac
    HINTS /usr/lib/jvm/java-17-openjdk-amd64/bin ${KESTRA_JAVA_HOME}/bin REQUIRED)
endmacro()

# kestra_java_classes(TARGET name DIRECTORY dir SOURCES files... [CLASS_PATH dirs...]
#                     [DEPENDS targets...] [RELEASE version] [ALL] [WARNINGS_AS_ERRORS])
# Compiles the Java sources into DIRECTORY (emptied first, so removed classes do not linger)
# as the custom target TARGET. CLASS_PATH are class folders of kestra_java_classes() the
# sources use (a change there compiles them again), DEPENDS the targets that compile them.
# RELEASE is the Java version compiled for (11 unless told; the app's peer is compiled for 8).
function(kestra_java_classes)
  cmake_parse_arguments(ARG "ALL;WARNINGS_AS_ERRORS" "TARGET;DIRECTORY;RELEASE" "SOURCES;CLASS_PATH;DEPENDS" ${ARGN})
  if(NOT ARG_RELEASE)
    set(ARG_RELEASE 11)
  endif()
  set(flags --release ${ARG_RELEASE} -encoding UTF-8 -Xlint:all)
  if(ARG_WARNINGS_AS_ERRORS)
    list(APPEND flags -Werror)
  endif()
  set(stamps)
  if(ARG_CLASS_PATH)
    string(REPLACE ";" ":" class_path "${ARG_CLASS_PATH}")
    list(APPEND flags -cp ${class_path})
    list(TRANSFORM ARG_CLASS_PATH APPEND /.compiled OUTPUT_VARIABLE stamps)
  endif()
  add_custom_command(
    OUTPUT ${ARG_DIRECTORY}/.compiled
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${ARG_DIRECTORY}
    COMMAND ${KESTRA_JAVAC} ${flags} -d ${ARG_DIRECTORY} ${ARG_SOURCES}
    COMMAND ${CMAKE_COMMAND} -E touch ${ARG_DIRECTORY}/.compiled
    DEPENDS ${ARG_SOURCES} ${stamps}
    COMMENT "Compiling the Java classes of ${ARG_TARGET}")
  if(ARG_ALL)
    add_custom_target(${ARG_TARGET} ALL DEPENDS ${ARG_DIRECTORY}/.compiled)
  else()
    add_custom_target(${ARG_TARGET} DEPENDS ${ARG_DIRECTORY}/.compiled)
  endif()
  if(ARG_DEPENDS)
    add_dependencies(${ARG_TARGET} ${ARG_DEPENDS})
  endif()
endfunction()
