// The indexing XML reader: parse a document into an element tree (XMLHash) and walk it by element
// name and position (XMLIndexer) down to names, attributes and text (XMLElement), and read them as
// typed values (value_readers.hpp).
#pragma once

#include "xml/indexing/element.hpp"
#include "xml/indexing/errors.hpp"
#include "xml/indexing/indexer.hpp"
#include "xml/indexing/options.hpp"
#include "xml/indexing/parser.hpp"
#include "xml/indexing/value_readers.hpp"
