// The indexing XML reader: parse a document into an element tree (XMLHash) and walk it by element
// name and position (XMLIndexer) down to names, attributes and text (XMLElement).
#pragma once

#include "xml/indexing/element.hpp"
#include "xml/indexing/errors.hpp"
#include "xml/indexing/indexer.hpp"
#include "xml/indexing/options.hpp"
#include "xml/indexing/parser.hpp"
