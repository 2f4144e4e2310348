# The registry stand-in and the volume table: the drive-letter view of this
# machine's mounts and attached disk images.
find_package(PkgConfig REQUIRED)
pkg_check_modules(BLKID REQUIRED IMPORTED_TARGET blkid)

target_sources(velk_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VolumeTable.cpp
)
target_link_libraries(velk_platform PUBLIC PkgConfig::BLKID)

add_executable(drives_tests
  ${CMAKE_CURRENT_LIST_DIR}/tests/SettingsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tests/VolumeTableTest.cpp
)
target_link_libraries(drives_tests PRIVATE velk_platform GTest::gtest_main)
add_test(NAME drives_tests COMMAND drives_tests)
