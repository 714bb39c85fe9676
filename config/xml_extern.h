#pragma once

// The document type that users of the store create: one per use of
// "config.xml", one held by the language pack.

#include "config/xml.h"

namespace quorvex {

class XmlExtern : public Xml {};

}  // namespace quorvex
