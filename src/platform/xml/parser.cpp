#include "sax/parser.hpp"

#include <expat.h>

#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>

namespace sax {

namespace {

// Separator expat puts between namespace URI, local name and prefix when namespaces are processed.
constexpr char nsSeparator = '\x01';

struct Name {
    std::string_view local, uri, qualified;
};

}  // namespace

const Attributes& AttributeList::copied() const {
    scratch_->resize(views_.size());
    for (size_t i = 0; i < views_.size(); ++i) {
        (*scratch_)[i].name.assign(views_[i].name);
        (*scratch_)[i].value.assign(views_[i].value);
    }
    return *scratch_;
}

struct Parser::Impl {
    Parser& owner;
    Options options;
    XML_Parser expat = nullptr;
    Handler* handler = nullptr;
    std::string text;   // the character run being collected
    std::string cdata;  // the CDATA section being collected
    bool inCdata = false;
    size_t depth = 0;
    bool ran = false;
    std::exception_ptr failure;  // an exception thrown by the handler, rethrown after the run
    ParseError limitError;
    bool limitHit = false;
    // Reused between start tags: the attributes in place, the prefixed names built for them when
    // namespaces are processed, and the copies handed to handlers that want owned strings.
    std::vector<AttributeView> attributeViews;
    std::vector<std::string> attributeNames;
    Attributes attributes;
    std::string qualifiedName;  // a prefixed element name, when namespaces are processed

    Impl(Parser& p, Options o) : owner(p), options(std::move(o)) {}

    // Splits a name as expat reports it when namespaces are processed: "uri<sep>local<sep>prefix",
    // "uri<sep>local" or "local". A prefixed name is built in `storage`.
    static Name split(const XML_Char* raw, std::string& storage) {
        Name n;
        std::string_view all(raw);
        const auto first = all.find(nsSeparator);
        if (first == std::string_view::npos) {
            n.local = n.qualified = all;
            return n;
        }
        n.uri = all.substr(0, first);
        auto rest = all.substr(first + 1);
        const auto second = rest.find(nsSeparator);
        if (second == std::string_view::npos) {
            n.local = n.qualified = rest;
            return n;
        }
        n.local = rest.substr(0, second);
        storage.assign(rest.substr(second + 1));
        storage += ':';
        storage += n.local;
        n.qualified = storage;
        return n;
    }

    template <bool namespaces>
    Name nameOf(const XML_Char* raw) {
        if constexpr (namespaces) {
            return split(raw, qualifiedName);
        } else {
            const std::string_view all(raw);
            return Name{all, {}, all};
        }
    }

    // The name of an attribute as handlers see it: as written, or prefix:local when namespaces are
    // processed (built in attributeNames[slot], which the caller has made large enough).
    template <bool namespaces>
    std::string_view attributeName(const XML_Char* raw, size_t slot) {
        if constexpr (namespaces) {
            return split(raw, attributeNames[slot]).qualified;
        } else {
            return raw;
        }
    }

    // The run's buffer is kept for the next run, so collecting text does not allocate per run.
    void flushText() {
        if (text.empty()) return;
        handler->characters(text);
        text.clear();
    }

    // Runs a handler call, keeping an exception from unwinding through expat.
    template <class F>
    void guarded(F&& f) {
        if (failure) return;
        try {
            f();
        } catch (...) {
            failure = std::current_exception();
            XML_StopParser(expat, XML_FALSE);
        }
    }

    static Impl& of(void* data) { return *static_cast<Impl*>(data); }

    template <bool namespaces>
    static void onStart(void* data, const XML_Char* name, const XML_Char** atts) {
        auto& self = of(data);
        self.guarded([&] {
            self.flushText();
            if (self.options.maxDepth != 0 && self.depth >= self.options.maxDepth) {
                self.limitHit = true;
                self.limitError = {ParseError::depthLimitExceeded,
                                   "elements are nested more than " +
                                       std::to_string(self.options.maxDepth) + " levels deep",
                                   static_cast<int64_t>(XML_GetCurrentLineNumber(self.expat)),
                                   static_cast<int64_t>(XML_GetCurrentColumnNumber(self.expat))};
                XML_StopParser(self.expat, XML_FALSE);
                return;
            }
            ++self.depth;
            self.attributeViews.clear();
            if constexpr (namespaces) {
                size_t count = 0;
                while (atts[2 * count] != nullptr)
                    ++count;
                // Sized before any view into it is taken.
                if (self.attributeNames.size() < count) self.attributeNames.resize(count);
            }
            for (size_t i = 0; atts[i] != nullptr; i += 2) {
                self.attributeViews.push_back({self.template attributeName<namespaces>(atts[i], i / 2),
                                               std::string_view(atts[i + 1])});
            }
            const Name n = self.template nameOf<namespaces>(name);
            self.handler->startElementInPlace(n.local, n.uri, n.qualified,
                                              AttributeList(self.attributeViews, self.attributes));
        });
    }

    template <bool namespaces>
    static void onEnd(void* data, const XML_Char* name) {
        auto& self = of(data);
        self.guarded([&] {
            self.flushText();
            if (self.depth > 0) --self.depth;
            const Name n = self.template nameOf<namespaces>(name);
            self.handler->endElement(n.local, n.uri, n.qualified);
        });
    }

    static void onCharacters(void* data, const XML_Char* s, int len) {
        auto& self = of(data);
        (self.inCdata ? self.cdata : self.text).append(s, static_cast<size_t>(len));
    }

    static void onCdataStart(void* data) {
        auto& self = of(data);
        self.guarded([&] {
            self.flushText();
            self.inCdata = true;
            self.cdata.clear();
        });
    }

    static void onCdataEnd(void* data) {
        auto& self = of(data);
        self.guarded([&] {
            self.inCdata = false;
            std::string section;
            section.swap(self.cdata);
            self.handler->cdata(section);
        });
    }

    // Markup that is not reported still ends a character run.
    static void onComment(void* data, const XML_Char*) {
        auto& self = of(data);
        self.guarded([&] { self.flushText(); });
    }
    static void onProcessingInstruction(void* data, const XML_Char*, const XML_Char*) {
        onComment(data, nullptr);
    }
    static void onDoctypeStart(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        onComment(data, nullptr);
    }
    // External entities are never loaded; a reference to one is skipped.
    static void onSkippedEntity(void* data, const XML_Char*, int) { onComment(data, nullptr); }
};

Parser::Parser(Options options) : impl_(new Impl(*this, std::move(options))) {
    const XML_Char* encoding =
        impl_->options.encoding.empty() ? nullptr : impl_->options.encoding.c_str();
    impl_->expat = impl_->options.processNamespaces ? XML_ParserCreateNS(encoding, nsSeparator)
                                                    : XML_ParserCreate(encoding);
    if (impl_->expat == nullptr) {
        delete impl_;
        throw std::bad_alloc();
    }
    XML_Parser p = impl_->expat;
    if (impl_->options.processNamespaces) XML_SetReturnNSTriplet(p, XML_TRUE);
    XML_SetUserData(p, impl_);
    XML_SetParamEntityParsing(p, XML_PARAM_ENTITY_PARSING_NEVER);
    if (impl_->options.processNamespaces) {
        XML_SetElementHandler(p, &Impl::onStart<true>, &Impl::onEnd<true>);
    } else {
        XML_SetElementHandler(p, &Impl::onStart<false>, &Impl::onEnd<false>);
    }
    XML_SetCharacterDataHandler(p, &Impl::onCharacters);
    XML_SetCdataSectionHandler(p, &Impl::onCdataStart, &Impl::onCdataEnd);
    XML_SetCommentHandler(p, &Impl::onComment);
    XML_SetProcessingInstructionHandler(p, &Impl::onProcessingInstruction);
    XML_SetStartDoctypeDeclHandler(p, &Impl::onDoctypeStart);
    XML_SetSkippedEntityHandler(p, &Impl::onSkippedEntity);
}

Parser::~Parser() {
    XML_ParserFree(impl_->expat);
    delete impl_;
}

bool Parser::parse(std::string_view document, Handler& handler) {
    if (impl_->ran) throw std::logic_error("a sax::Parser can run only once");
    impl_->ran = true;
    impl_->handler = &handler;
    XML_Parser p = impl_->expat;

    // The document goes to expat a piece at a time: expat copies what it is given into a buffer of
    // its own, which then stays small and warm in the cache instead of growing to the document's
    // size (and expat takes int lengths).
    constexpr size_t chunk = size_t{64} << 10;
    XML_Status status = XML_STATUS_OK;
    size_t offset = 0;
    do {
        const size_t length = std::min(chunk, document.size() - offset);
        const bool last = offset + length == document.size();
        status = XML_Parse(p, document.data() + offset, static_cast<int>(length),
                           last ? XML_TRUE : XML_FALSE);
        offset += length;
    } while (status == XML_STATUS_OK && offset < document.size());

    if (impl_->failure) std::rethrow_exception(impl_->failure);
    if (status == XML_STATUS_OK) {
        impl_->flushText();
        return true;
    }
    if (impl_->limitHit) {
        handler.parseError(impl_->limitError);
        return false;
    }
    const XML_Error code = XML_GetErrorCode(p);
    if (code == XML_ERROR_ABORTED) {
        stopped_ = true;  // stopped by the handler, not an error
        return false;
    }
    impl_->flushText();
    ParseError error{static_cast<int>(code), XML_ErrorString(code),
                     static_cast<int64_t>(XML_GetCurrentLineNumber(p)),
                     static_cast<int64_t>(XML_GetCurrentColumnNumber(p))};
    handler.parseError(error);
    return false;
}

void Parser::stop() {
    XML_StopParser(impl_->expat, XML_FALSE);
}

int64_t Parser::currentLine() const {
    return static_cast<int64_t>(XML_GetCurrentLineNumber(impl_->expat));
}

int64_t Parser::currentColumn() const {
    return static_cast<int64_t>(XML_GetCurrentColumnNumber(impl_->expat));
}

}  // namespace sax
