// The small value classes of the widget library and the two link bases.
//
// IPoint and IRect load and save themselves by name through a property tree
// (widgets/qiproptree.h). LTreeNode links widgets and property nodes into
// trees; LListNode links list items. Neither link base owns what it links:
// whoever keeps the tree or list unlinks and deletes.
#pragma once

#include <cstdint>

class QIPropTree;

class IPoint {
public:
    int32_t x = 0, y = 0;

    IPoint() {}
    IPoint(int32_t px, int32_t py) : x(px), y(py) {}
    virtual ~IPoint() {}
    IPoint(const IPoint&) = default;
    IPoint& operator=(const IPoint&) = default;

    // Enters section (null: "Point") and reads, or writes, "x" and "y";
    // returns 1. The section is left entered.
    virtual int Load(QIPropTree* tree, const char* section);
    virtual int Save(QIPropTree* tree, const char* section);

    // The component-wise sum.
    IPoint Add(const IPoint& other) const { return IPoint(x + other.x, y + other.y); }
    // Both components times factor.
    IPoint Scale(int32_t factor) const { return IPoint(x * factor, y * factor); }
};

class IRect {
public:
    int32_t x, y, w, h; // left unset by the default constructor

    IRect() {}
    IRect(int32_t px, int32_t py, int32_t pw, int32_t ph) : x(px), y(py), w(pw), h(ph) {}
    // The first point gives the corner, the second the size.
    IRect(const IPoint& corner, const IPoint& size) : x(corner.x), y(corner.y), w(size.x), h(size.y)
    {
    }
    virtual ~IRect() {}
    IRect(const IRect&) = default;
    IRect& operator=(const IRect&) = default;

    // Enters section (null: "Rect") and reads, or writes, "x", "y", "w", "h";
    // returns 1. The section is left entered.
    virtual int Load(QIPropTree* tree, const char* section);
    virtual int Save(QIPropTree* tree, const char* section);

    // Copies the four coordinates.
    void Assign(const IRect& other)
    {
        x = other.x;
        y = other.y;
        w = other.w;
        h = other.h;
    }
    // x <= px < x + w and y <= py < y + h, signed: the right and bottom
    // edges are outside.
    bool Contains(int32_t px, int32_t py) const
    {
        return (int64_t)x <= px && px < (int64_t)x + w && (int64_t)y <= py && py < (int64_t)y + h;
    }
};

class LTreeNode {
public:
    LTreeNode* next = nullptr;       // next sibling
    LTreeNode* firstChild = nullptr;
    LTreeNode* parent = nullptr;     // null at the top level

    LTreeNode() {}
    LTreeNode(const LTreeNode&) = delete;
    LTreeNode& operator=(const LTreeNode&) = delete;
    // Only resets the links: children are neither unlinked nor freed.
    virtual ~LTreeNode() { next = firstChild = parent = nullptr; }
};

class LListNode {
public:
    LListNode* next = nullptr; // kept by the owning list
    LListNode* prev = nullptr;

    LListNode() {}
    LListNode(const LListNode&) = delete;
    LListNode& operator=(const LListNode&) = delete;
    virtual ~LListNode() { next = prev = nullptr; }
};
