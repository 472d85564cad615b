# The Windows build: the program, its Windows-side library and the tests that run under Wine.
add_library(vesko_win STATIC
  base/Window_win.cpp
  app/Application_win.cpp
  app/Dialogs_win.cpp
  app/InputQuery_win.cpp
  app/MainForm_win.cpp
  app/MainFormActions_win.cpp
  app/PluginSetup_win.cpp
  app/ViewMode_win.cpp
  app/HintImage_win.cpp
  app/SingleInstance_win.cpp
  app/TaskTray_win.cpp
  files/SysInfo_win.cpp
  files/FileOperation_win.cpp
  files/FileDrop_win.cpp
  files/ShellLink_win.cpp
  app/FavoriteFoldersForm_win.cpp
  app/PicturePreview_win.cpp
  app/ContextMenu_win.cpp
  app/MainFormPanel_win.cpp
  app/MainFormHotKeys_win.cpp
  app/MainFormOptions_win.cpp
  app/MainFormAbout_win.cpp
  app/MainFormEditor_win.cpp
  app/MainFormFiles_win.cpp
  app/MainFormWallpaper_win.cpp
  app/MainFormCycle_win.cpp
  app/MainFormSettings_win.cpp
  app/AboutForm_win.cpp
  app/ModalForm_win.cpp
  app/OptionsForm_win.cpp
  app/ShellMenuEntry_win.cpp
  app/StartWithWindows_win.cpp
  app/WelcomeBalloon_win.cpp
  app/SystemState_win.cpp
  app/MainFormMonitors_win.cpp
  app/InputSepStringForm_win.cpp
  app/HookHotKey_win.cpp
  engine/FileSystem_win.cpp
  engine/PictureLoader_win.cpp
  engine/MessageOverlay_win.cpp
  engine/Wallpaper_win.cpp
  engine/Monitors_win.cpp
  files/ArchiveFile_win.cpp
)
target_link_libraries(vesko_core PUBLIC gdi32 user32)
target_link_libraries(vesko_win PUBLIC vesko_core ole32 shell32 comdlg32 comctl32 gdi32 user32 uuid version winmm bcrypt)

# The program knows its own in-process plug-ins by their SHA-256, recorded at build time.
set(VESKO_OWN_PLUGINS ${CMAKE_BINARY_DIR}/generated/OwnPlugins.inc)
add_custom_command(
  OUTPUT ${VESKO_OWN_PLUGINS}
  COMMAND ${CMAKE_COMMAND} -DOUT=${VESKO_OWN_PLUGINS}
          "-DFILES=$<TARGET_FILE:png_spi>|$<TARGET_FILE:webp_spi>"
          -P ${CMAKE_SOURCE_DIR}/cmake/OwnPlugins.cmake
  DEPENDS png_spi webp_spi ${CMAKE_SOURCE_DIR}/cmake/OwnPlugins.cmake
  VERBATIM)
add_executable(Vesko2 WIN32 app/Main_win.cpp app/res/Vesko2.rc ${VESKO_OWN_PLUGINS})
# The version resource takes its numbers from the project's version.
configure_file(app/res/Version.h.in ${CMAKE_BINARY_DIR}/generated/Version.h @ONLY)
target_include_directories(Vesko2 PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_link_options(Vesko2 PRIVATE -municode)
target_link_libraries(Vesko2 PRIVATE vesko_win)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
add_subdirectory(addons)
add_subdirectory(tests/win)
add_dependencies(win_tests png_spi webp_spi heif_spi)

add_executable(list_bench bench/ListBench_win.cpp)
target_link_libraries(list_bench PRIVATE vesko_win)
# A short slice of the benchmark runs with the tests; `make bench` runs the full size.
add_test(NAME list_bench_short COMMAND list_bench 2000)

add_executable(bmp_load_bench bench/BmpLoadBench.cpp)
target_link_libraries(bmp_load_bench PRIVATE vesko_core)

add_executable(spi_bench bench/SpiBench_win.cpp)
target_link_libraries(spi_bench PRIVATE vesko_win z)
add_dependencies(spi_bench wic_spi)

add_executable(jpeg_bench bench/JpegBench.cpp)
target_link_libraries(jpeg_bench PRIVATE vesko_core)

add_executable(change_bench bench/ChangeBench.cpp)
target_link_libraries(change_bench PRIVATE vesko_core)

add_executable(plugin_bench bench/PluginBench_win.cpp)
target_link_libraries(plugin_bench PRIVATE vesko_win)
add_dependencies(plugin_bench webp_spi heif_spi)
add_test(NAME webp_bench_short
         COMMAND plugin_bench ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}/tests/data/webp/lossy.webp 1)
add_test(NAME heif_bench_short
         COMMAND plugin_bench ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR}/tests/data/heif/iphone-like.heic 1)

add_executable(helper_bench bench/HelperBench_win.cpp)
target_link_libraries(helper_bench PRIVATE vesko_win z)
add_dependencies(helper_bench png_spi fixture_spis Vesko2 stripped_programs)
