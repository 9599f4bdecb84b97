#include "recogParam.h"

#include "utility.h"

namespace tulim {

void recogParamSetText(recogParam& param, const char* key, std::string& field, const std::string& value) {
  const size_t limit = (&field == &param.txtFile) ? RECOG_PARAM_TXTFILE_MAX : RECOG_PARAM_TEXT_MAX;
  if (value.size() > limit)
    errorThrowf("recogParam.%s is %zu characters long, more than its limit of %zu (line %d in %s)", key,
                value.size(), limit, TULIM_HERE);
  field = value;
}

}  // namespace tulim
