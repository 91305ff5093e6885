#include "output/params_copy.h"

#include <ctime>

#include "base/params.h"

namespace dukon {

void writeParamsCopy(std::ostream& os, const Params& prms, const std::string& version, double rate,
                     int lastFrame) {
  std::time_t now = std::time(nullptr);
  char buf[64];
  // ctime's fixed form: "Www Mmm dd hh:mm:ss yyyy\n".
  std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Y\n", std::localtime(&now));
  os << "# DUKON version: " << version << "\n";
  os << "# analyzed on: " << buf << "\n";
  prms.printListing(os, rate, lastFrame);
}

}  // namespace dukon
