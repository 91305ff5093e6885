#include "segment/track.h"
