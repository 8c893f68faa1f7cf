// The property tree and its text form.
//
// Persistent classes load and save their settings by name: sections hold
// sections and string properties. Every property remembers the value the
// program held when it was read (its default); the writer writes only the
// properties whose value differs from it, so a file holds only what a user
// changed.
//
// The text form, one property or section header a line:
//
//       (an empty line before the first line of every level)
//     Name(                        a section; its children follow, indented
//       Key                  = value
//     )
//
// "=" stands in column 23 while 2 x depth + name length is below 23 and
// directly after the name when they make 23. A value is one token (blanks
// are written as "_"); an empty value is written "(null)". The reader splits
// tokens at white space, at "(" and ")" and before a "=" ending a run; a
// name or value that would be split so, or is empty (a name), starts with a
// double quote, ends with "=" or holds a control character, is written in
// double quotes with \\, \" and \xHH escapes, and a quoted token is never a
// bracket, "=" or "(null)". So every tree the program builds reads back
// equal. The reader refuses (logged with the file and line, and nothing
// added) a quoted token without its closing quote or with another escape,
// a token longer than QIPROP_MAX_TOKEN, and sections nested deeper than
// QIPROP_MAX_DEPTH.
#pragma once

#include <cstdint>
#include <string>

#include "widgets/qistring.h"
#include "widgets/qivalue.h"

enum {
    QIPROP_MAX_TOKEN = 255,
    QIPROP_MAX_DEPTH = 64,
    QIPROP_EQUALS_COLUMN = 23,
};

class QIPropNode : public LTreeNode {
public:
    QIString name;
    QIString value;        // integers as decimal text
    QIString defaultValue; // the value the program held when it last read it

    explicit QIPropNode(const char* n) : name(n) {}
    QIPropNode* Next(void) const { return static_cast<QIPropNode*>(next); }
    QIPropNode* FirstChild(void) const { return static_cast<QIPropNode*>(firstChild); }
    QIPropNode* Parent(void) const { return static_cast<QIPropNode*>(parent); }
};

class QIPropTree {
public:
    QIPropNode* first = nullptr;   // first top-level node
    int32_t count = 0;             // nodes linked in
    QIPropNode* current = nullptr; // where look-ups happen; null: the top level
    QIString fileName;

    explicit QIPropTree(const char* file = nullptr) : fileName(file) {}
    QIPropTree(const QIPropTree&) = delete;
    QIPropTree& operator=(const QIPropTree&) = delete;
    // Frees every node (iteratively: depth costs no stack).
    ~QIPropTree();

    // Makes the child of the current section named name (case-blind) the
    // current section, creating it when absent.
    void Enter(const char* name);
    // The parent of the current section becomes current (nothing at the top).
    void Leave(void);
    // The child of the current section named name (case-blind), or null.
    QIPropNode* Find(const char* name) const;

    // An existing property: its default := value, then value := its text as
    // an integer (leading digits; 0 without). A missing one is created with
    // value and default := value, which stays unchanged.
    void GetInt(const char* key, int32_t& value);
    // Finds or creates the property and sets its text (a new one has an
    // empty default).
    void SetInt(const char* key, int32_t value);
    // As GetInt for texts.
    void GetString(const char* key, QIString& value);
    void SetString(const char* key, const QIString& value);

    // Reads the file into the tree: every node the file holds is added
    // (names are not merged with existing ones; top-level nodes go to the
    // front, in reverse file order). 1 when read; 0 when the file can't be
    // opened (silently) or is refused (logged as an error naming the file,
    // the line and what was expected; the tree is unchanged).
    int Load(void);
    // Writes the whole tree (changed properties and every section) through
    // a temporary file, so a failed write keeps the old file; blanks of the
    // written values become "_" in the tree too. 1 on success; 0 logged.
    int Save(void);
    // The text Save writes (with the same blanks-to-"_" change).
    std::string Text(void);

private:
    QIPropNode* Link(const char* name);
};
