#pragma once
// Untrusted XML is read without any declaration: a document type, an entity (the way to
// "billion laughs" and to external files) or a parameter entity ends the parse. `Handler` is
// the parser's user data and has a public refuse() that records the refusal and stops it.
#include <expat.h>

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

} // namespace vaun::xml
