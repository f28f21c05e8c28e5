#include "util/Errors.h"

#include "util/Utf8.h"

Error::Error(std::wstring message) : message_(std::move(message)), utf8_(ToUtf8(message_)) {}
