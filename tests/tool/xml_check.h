/*
 * xml_check.h - a small XML reader for the tool's tests: checks that a document is
 * well formed (one root, tags nested and closed, attributes quoted and not repeated,
 * only the five named entities and character references) and gives its elements back
 * as a tree.
 */
#ifndef KORVA3_TOOL_TESTS_XML_CHECK_H
#define KORVA3_TOOL_TESTS_XML_CHECK_H

#include <cctype>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace xml {

struct Element {
    std::string name;
    std::map<std::string, std::string> attrs;
    std::vector<Element> children;
    std::string text; // character data directly inside, entities resolved

    std::string attr(const std::string &key) const
    {
        auto it = attrs.find(key);
        return it == attrs.end() ? "" : it->second;
    }

    // Every element below (and including) this one for which pred holds, in document order.
    void find_all(const std::function<bool(const Element &)> &pred,
                  std::vector<const Element *> &out) const
    {
        if (pred(*this))
            out.push_back(this);
        for (const Element &c : children)
            c.find_all(pred, out);
    }
};

class Reader {
public:
    explicit Reader(const std::string &doc) : s_(doc) {}

    // Parses the whole document. False with error() on the first fault.
    bool parse(Element &root)
    {
        skip_misc();
        if (!at("<") || at("</"))
            return fail("no root element");
        if (!element(root))
            return false;
        skip_misc();
        if (i_ != s_.size())
            return fail("content after the root element");
        return true;
    }

    const std::string &error() const { return error_; }

private:
    bool fail(const std::string &what)
    {
        if (error_.empty())
            error_ = what + " at offset " + std::to_string(i_);
        return false;
    }

    bool at(const char *t) const { return s_.compare(i_, std::char_traits<char>::length(t), t) == 0; }

    void skip_space()
    {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_])))
            i_++;
    }

    // Whitespace, comments and processing instructions (the XML declaration among them).
    void skip_misc()
    {
        for (;;) {
            skip_space();
            if (at("<?")) {
                size_t e = s_.find("?>", i_);
                i_ = e == std::string::npos ? s_.size() : e + 2;
            } else if (at("<!--")) {
                size_t e = s_.find("-->", i_ + 4);
                i_ = e == std::string::npos ? s_.size() : e + 3;
            } else {
                return;
            }
        }
    }

    static bool name_start(char c)
    {
        return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == ':';
    }
    static bool name_char(char c)
    {
        return name_start(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '-' ||
               c == '.';
    }

    bool name(std::string &out)
    {
        if (i_ >= s_.size() || !name_start(s_[i_]))
            return fail("a name was expected");
        size_t b = i_;
        while (i_ < s_.size() && name_char(s_[i_]))
            i_++;
        out = s_.substr(b, i_ - b);
        return true;
    }

    // Character data up to '<' (text) or the quote (attribute), references resolved.
    bool chars(char stop, std::string &out)
    {
        while (i_ < s_.size() && s_[i_] != stop) {
            char c = s_[i_];
            if (c == '<')
                return fail("'<' inside character data");
            if (c == '&') {
                size_t e = s_.find(';', i_);
                if (e == std::string::npos || e - i_ > 10)
                    return fail("unterminated reference");
                std::string ref = s_.substr(i_ + 1, e - i_ - 1);
                if (ref == "amp") out += '&';
                else if (ref == "lt") out += '<';
                else if (ref == "gt") out += '>';
                else if (ref == "quot") out += '"';
                else if (ref == "apos") out += '\'';
                else if (ref.size() > 1 && ref[0] == '#') {
                    bool hex = ref[1] == 'x';
                    std::string digits = ref.substr(hex ? 2 : 1);
                    if (digits.empty())
                        return fail("empty character reference");
                    for (char d : digits)
                        if (!(hex ? std::isxdigit(static_cast<unsigned char>(d))
                                  : std::isdigit(static_cast<unsigned char>(d))))
                            return fail("bad character reference");
                    out += '?';
                } else {
                    return fail("unknown entity &" + ref + ";");
                }
                i_ = e + 1;
            } else {
                out += c;
                i_++;
            }
        }
        return true;
    }

    bool element(Element &el)
    {
        i_++; // '<'
        if (!name(el.name))
            return false;
        for (;;) {
            size_t before = i_;
            skip_space();
            if (at("/>")) {
                i_ += 2;
                return true;
            }
            if (at(">")) {
                i_++;
                break;
            }
            if (i_ == before)
                return fail("space expected before an attribute");
            std::string key, value;
            if (!name(key))
                return false;
            skip_space();
            if (!at("="))
                return fail("'=' expected after attribute " + key);
            i_++;
            skip_space();
            if (i_ >= s_.size() || (s_[i_] != '"' && s_[i_] != '\''))
                return fail("attribute value not quoted");
            char q = s_[i_++];
            if (!chars(q, value))
                return false;
            if (i_ >= s_.size())
                return fail("unterminated attribute value");
            i_++;
            if (!el.attrs.emplace(key, value).second)
                return fail("attribute " + key + " repeated");
        }
        for (;;) {
            if (i_ >= s_.size())
                return fail("element <" + el.name + "> not closed");
            if (at("</")) {
                i_ += 2;
                std::string closing;
                if (!name(closing))
                    return false;
                if (closing != el.name)
                    return fail("</" + closing + "> closes <" + el.name + ">");
                skip_space();
                if (!at(">"))
                    return fail("'>' expected");
                i_++;
                return true;
            }
            if (at("<!--")) {
                size_t e = s_.find("-->", i_ + 4);
                if (e == std::string::npos)
                    return fail("unterminated comment");
                i_ = e + 3;
            } else if (at("<")) {
                el.children.emplace_back();
                if (!element(el.children.back()))
                    return false;
            } else if (!chars('<', el.text)) {
                return false;
            }
        }
    }

    std::string s_;
    size_t i_ = 0;
    std::string error_;
};

} // namespace xml

#endif
