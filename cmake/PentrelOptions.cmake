# Compile settings shared by every target of the project, carried by one interface target so that
# nothing is set globally.
add_library(pentrel_options INTERFACE)
add_library(Pentrel::options ALIAS pentrel_options)
target_compile_features(pentrel_options INTERFACE cxx_std_20)
if(MSVC)
  target_compile_options(pentrel_options INTERFACE /W4)
else()
  target_compile_options(pentrel_options INTERFACE -Wall -Wextra)
endif()
if(MINGW)
  # The Windows binaries must run on a machine without the MinGW runtime DLLs.
  target_link_options(pentrel_options INTERFACE -static-libgcc -static-libstdc++
                      -Wl,-Bstatic,--whole-archive -lwinpthread -Wl,--no-whole-archive,-Bdynamic)
endif()
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
