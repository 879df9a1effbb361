// Horizontal alignment and vertical layout of text in a control.
#pragma once

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TTextLayout { tlTop, tlCenter, tlBottom };
