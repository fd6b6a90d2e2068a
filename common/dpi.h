#ifndef COMMON_DPI_H_
#define COMMON_DPI_H_

// Geometry is given in logical pixels, 96 per inch; a monitor or window at another DPI scales
// it by dpi / 96.
inline constexpr double kBaseDpi = 96.0;

inline double ScaleForDpi(unsigned int dpi) { return dpi / kBaseDpi; }

#endif  // COMMON_DPI_H_
