# Locates Debian's OpenCV 4 component packages (libopencv-{core,imgproc,videoio,
# imgcodecs,highgui}-dev), which ship headers and libraries but no CMake config.
# Defines the imported target dukon::opencv.
find_path(DUKON_OPENCV_INCLUDE opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
set(_dukon_cv_libs)
foreach(_m core imgproc videoio imgcodecs highgui)
  find_library(DUKON_OPENCV_${_m} NAMES opencv_${_m} REQUIRED)
  list(APPEND _dukon_cv_libs ${DUKON_OPENCV_${_m}})
endforeach()
add_library(dukon::opencv INTERFACE IMPORTED)
set_target_properties(dukon::opencv PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${DUKON_OPENCV_INCLUDE}"
  INTERFACE_LINK_LIBRARIES "${_dukon_cv_libs}")
