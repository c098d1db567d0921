#include "settings/correction_settings.h"

// The record is a plain aggregate; this unit exists so that the library has an object of its own
// and the layout assertion above is compiled once.
