# harbolink_add_test(NAME tst_x SOURCES a.cpp... [LABELS l...] [RESOURCE_LOCK r...] [TIMEOUT s] [LIBS t...])
# One executable per test class, run offscreen, linked against the core library and the resource bundle.
function(harbolink_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LABELS;RESOURCE_LOCK;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES} $<TARGET_OBJECTS:harbolink_resources>)
    target_link_libraries(${T_NAME} PRIVATE harbolink_core harbolink_testsupport Qt5::Test ${T_LIBS})
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES
        LABELS "${T_LABELS}"
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HARBOLINK_TEST_PKI_DIR=${HARBOLINK_TEST_PKI_DIR};ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp;TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/tsan.supp:ignore_noninstrumented_modules=1")
    if(T_RESOURCE_LOCK)
        set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
    endif()
endfunction()
