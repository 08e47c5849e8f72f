#pragma once

// Small questions about gumbo's nodes that every reader of a parsed page
// asks: an element's tag, its attributes, its children.

#include <gumbo.h>

namespace quorlix::html {

inline bool isHtml(const GumboNode *node, GumboTag tag)
{
    return node->type == GUMBO_NODE_ELEMENT && node->v.element.tag == tag
           && node->v.element.tag_namespace == GUMBO_NAMESPACE_HTML;
}

// An element's attribute, or nullptr when it has none or an empty one.
inline const char *attribute(const GumboNode *node, const char *name)
{
    if (node->type != GUMBO_NODE_ELEMENT)
        return nullptr;
    const GumboAttribute *found = gumbo_get_attribute(&node->v.element.attributes, name);
    return found && found->value[0] != '\0' ? found->value : nullptr;
}

// The level of an h1-h4 heading; 0 for any other node.
inline int headingLevel(const GumboNode *node)
{
    if (node->type != GUMBO_NODE_ELEMENT || node->v.element.tag_namespace != GUMBO_NAMESPACE_HTML)
        return 0;
    switch (node->v.element.tag) {
    case GUMBO_TAG_H1:
        return 1;
    case GUMBO_TAG_H2:
        return 2;
    case GUMBO_TAG_H3:
        return 3;
    case GUMBO_TAG_H4:
        return 4;
    default:
        return 0;
    }
}

inline const GumboVector *childrenOf(const GumboNode *node)
{
    if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE)
        return &node->v.element.children;
    if (node->type == GUMBO_NODE_DOCUMENT)
        return &node->v.document.children;
    return nullptr;
}

inline const GumboNode *child(const GumboVector *children, unsigned int index)
{
    return static_cast<const GumboNode *>(children->data[index]);
}

// White space between elements, or a comment.
inline bool isBlankText(const GumboNode *node)
{
    return node->type == GUMBO_NODE_WHITESPACE || node->type == GUMBO_NODE_COMMENT;
}

} // namespace quorlix::html
