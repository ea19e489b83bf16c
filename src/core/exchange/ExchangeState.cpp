#include "exchange/ExchangeState.h"

namespace norvi {

ExchangeDirection ExchangeMode = ExchangeDirection::Import;
int TextFileType = TextFileComma;

} // namespace norvi
