// Precompiled header of the UI layer: the non-UI set plus the widgets every dialog uses.
#include "pch_base.h"
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QWidget>
