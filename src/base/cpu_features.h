// What the processor offers beyond the x86-64 baseline the program is built
// for, asked once at run time. The vector paths of the mask, edge, grey and
// image-motion steps choose by these; every path gives the same results.
#ifndef DUKON_BASE_CPU_FEATURES_H_
#define DUKON_BASE_CPU_FEATURES_H_

namespace dukon {

// False on other architectures and compilers.
bool cpuHasAvx2();
bool cpuHasPopcnt();

}  // namespace dukon

#endif  // DUKON_BASE_CPU_FEATURES_H_
