// The published properties of controls and forms.
#include "platform/Control.h"
#include "platform/Form.h"

const TPropTable& TControl::Published() const
{
    static const TPropTable table = [this] {
        TPropTable t(&this->TPersistent::Published());
        TPropTableOf<TControl>(t)
            .Int("Left", [](TControl& c) { return c.Left(); }, [](TControl& c, int v) { c.SetLeft(v); })
            .Int("Top", [](TControl& c) { return c.Top(); }, [](TControl& c, int v) { c.SetTop(v); })
            .Int("Width", [](TControl& c) { return c.Width(); }, [](TControl& c, int v) { c.SetWidth(v); })
            .Int("Height", [](TControl& c) { return c.Height(); }, [](TControl& c, int v) { c.SetHeight(v); })
            .Bool("Visible", [](TControl& c) { return c.Visible(); }, [](TControl& c, bool v) { c.SetVisible(v); })
            .Bool("Enabled", [](TControl& c) { return c.Enabled(); }, [](TControl& c, bool v) { c.SetEnabled(v); })
            .String("Caption", [](TControl& c) { return c.Caption(); },
                    [](TControl& c, const std::string& v) { c.SetCaption(v); })
            .Enum("Align", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"},
                  [](TControl& c) { return static_cast<int>(c.Align()); },
                  [](TControl& c, int v) { c.SetAlign(static_cast<TAlign>(v)); })
            .Int("Color", [](TControl& c) { return static_cast<int>(c.Color()); },
                 [](TControl& c, int v) { c.SetColor(static_cast<COLORREF>(v)); });
        return t;
    }();
    return table;
}

const TPropTable& TForm::Published() const
{
    static const TPropTable table = [this] {
        TPropTable t(&this->TControl::Published());
        TPropTableOf<TForm>(t)
            .Enum("BorderStyle", {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"},
                  [](TForm& f) { return static_cast<int>(f.BorderStyle()); },
                  [](TForm& f, int v) { f.SetBorderStyle(static_cast<TFormBorderStyle>(v)); })
            .Set("BorderIcons", {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"},
                 [](TForm& f) { return f.BorderIcons(); }, [](TForm& f, unsigned v) { f.SetBorderIcons(v); })
            .Enum("FormStyle", {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"},
                  [](TForm& f) { return static_cast<int>(f.FormStyle()); },
                  [](TForm& f, int v) { f.SetFormStyle(static_cast<TFormStyle>(v)); })
            .Enum("Position",
                  {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter",
                   "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"},
                  [](TForm& f) { return static_cast<int>(f.Position()); },
                  [](TForm& f, int v) { f.SetPosition(static_cast<TPosition>(v)); })
            .Enum("WindowState", {"wsNormal", "wsMinimized", "wsMaximized"},
                  [](TForm& f) { return static_cast<int>(f.WindowState()); },
                  [](TForm& f, int v) { f.SetWindowState(static_cast<TWindowState>(v)); });
        return t;
    }();
    return table;
}
