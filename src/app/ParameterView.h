#pragma once
// The generic editor of a node's parameters: one tab per parameter group (a plain panel for
// a single group), a slider with its value for each continuous parameter and a pop-up for
// each discrete one. Every change goes to the node at once.

#include <QWidget>
#include <memory>

class BParameterWeb;

// Builds a view for the web and takes ownership of it (the view keeps the web alive so that
// its controls can reach the node).
QWidget* ViewForWeb(BParameterWeb* web);
