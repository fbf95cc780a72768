// The whole accessor-style XML reader: parsing, the element tree, the accessor and the writer.
#pragma once

#include "xml/access/accessor.hpp"
#include "xml/access/character_set.hpp"
#include "xml/access/converter.hpp"
#include "xml/access/element.hpp"
#include "xml/access/error.hpp"
#include "xml/access/parser.hpp"
#include "xml/access/url.hpp"
#include "xml/access/xml.hpp"
