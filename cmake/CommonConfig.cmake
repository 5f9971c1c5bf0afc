# Settings shared by every target of the project: language level, warnings and Qt hygiene.
add_library(harbolink_common INTERFACE)

target_compile_features(harbolink_common INTERFACE cxx_std_17)
set(CMAKE_CXX_EXTENSIONS OFF)

target_compile_options(harbolink_common INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(harbolink_common INTERFACE
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_USE_QSTRINGBUILDER
    QT_NO_FOREACH
    QT_DISABLE_DEPRECATED_BEFORE=0x050C00)

if(HARBOLINK_SANITIZE AND HARBOLINK_TSAN)
    message(FATAL_ERROR "HARBOLINK_SANITIZE and HARBOLINK_TSAN cannot be combined")
endif()
if(HARBOLINK_SANITIZE)
    target_compile_options(harbolink_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                      -fno-sanitize-recover=undefined)
    target_link_options(harbolink_common INTERFACE -fsanitize=address,undefined)
endif()
if(HARBOLINK_TSAN)
    target_compile_options(harbolink_common INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(harbolink_common INTERFACE -fsanitize=thread)
endif()

set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTOUIC ON)
set(CMAKE_AUTORCC ON)
