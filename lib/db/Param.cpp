#include "Param.h"
