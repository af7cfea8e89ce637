#pragma once
// Untrusted XML is read without any declaration: a document type, an entity (the way to
// "billion laughs" and to external files) or a parameter entity ends the parse. `Handler` is
// the parser's user data and has a public refuse() that records the refusal and stops it.
#include <expat.h>

#include <cstddef>
#include <string_view>

namespace vaun::xml {

template <typename Handler>
void refuseDeclarations(XML_Parser parser) {
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    XML_SetStartDoctypeDeclHandler(parser, [](void* self, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        static_cast<Handler*>(self)->refuse();
    });
    XML_SetEntityDeclHandler(parser, [](void* self, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                                        const XML_Char*, const XML_Char*,
                                        const XML_Char*) { static_cast<Handler*>(self)->refuse(); });
    // Supplies no data: the entity is never loaded.
    XML_SetExternalEntityRefHandler(parser,
                                    [](XML_Parser p, const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*) {
                                        static_cast<Handler*>(XML_GetUserData(p))->refuse();
                                        return static_cast<int>(XML_STATUS_ERROR);
                                    });
}

// Streams a parser's events to a handler's start(name, attributes), characters(text) and
// end(), with declarations refused. A handler keeping those private names this its friend.
struct Events {
    template <typename Handler>
    static void attach(XML_Parser parser, Handler& handler) {
        XML_SetUserData(parser, &handler);
        XML_SetElementHandler(
            parser, [](void* self, const XML_Char* n, const XML_Char** a) { static_cast<Handler*>(self)->start(n, a); },
            [](void* self, const XML_Char*) { static_cast<Handler*>(self)->end(); });
        XML_SetCharacterDataHandler(parser, [](void* self, const XML_Char* s, int length) {
            static_cast<Handler*>(self)->characters(std::string_view(s, static_cast<std::size_t>(length)));
        });
        refuseDeclarations<Handler>(parser);
    }
};

} // namespace vaun::xml
