#include "cLocaleScope.h"

#include <clocale>
#include <locale.h>

namespace tulim {

namespace {
locale_t cLocale() {
  static locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}
}  // namespace

cLocaleScope::cLocaleScope() : m_previous(uselocale(cLocale())) {}

cLocaleScope::~cLocaleScope() { uselocale(static_cast<locale_t>(m_previous)); }

}  // namespace tulim
