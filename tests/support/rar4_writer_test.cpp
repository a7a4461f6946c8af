#include "rar4_writer.h"
