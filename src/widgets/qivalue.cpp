#include "widgets/qivalue.h"

#include "widgets/qiproptree.h"

int IPoint::Load(QIPropTree* tree, const char* section)
{
    tree->Enter(section ? section : "Point");
    tree->GetInt("x", x);
    tree->GetInt("y", y);
    return 1;
}

int IPoint::Save(QIPropTree* tree, const char* section)
{
    tree->Enter(section ? section : "Point");
    tree->SetInt("x", x);
    tree->SetInt("y", y);
    return 1;
}

int IRect::Load(QIPropTree* tree, const char* section)
{
    tree->Enter(section ? section : "Rect");
    tree->GetInt("x", x);
    tree->GetInt("y", y);
    tree->GetInt("w", w);
    tree->GetInt("h", h);
    return 1;
}

int IRect::Save(QIPropTree* tree, const char* section)
{
    tree->Enter(section ? section : "Rect");
    tree->SetInt("x", x);
    tree->SetInt("y", y);
    tree->SetInt("w", w);
    tree->SetInt("h", h);
    return 1;
}
