#include "ui/igi.h"

IGI_NFO igi_nfo;
