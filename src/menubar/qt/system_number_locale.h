#pragma once

#include "menubar/number_locale.h"

namespace pulsewell {

// The decimal separator of the user's numeric locale as Qt sees it, for the formatting core.
NumberLocale systemNumberLocale();

}  // namespace pulsewell
