#include "app/Forms.h"

#include "app/Wiring.h"

#include "admin/QxsmUnit.h"
#include "admin/SptjUnit.h"
#include "admin/SpxgUnit.h"
#include "admin/XtUnit.h"
#include "admin/YhtjUnit.h"
#include "admin/YhxgUnit.h"
#include "history/RjUnit.h"
#include "history/XscxUnit.h"
#include "history/XshzUnit.h"
#include "history/XsmxUnit.h"
#include "history/XstjUnit.h"
#include "print/Dy58Unit.h"
#include "print/Dy76Unit.h"
#include "print/DyjszUnit.h"
#include "ticket/MainUnit.h"

namespace app {

namespace {
struct WindowSlot {
    const char *name;
    QWidget *(*create)();
    QWidget *(*get)();
    void (*clear)();
};

template <class T, T **Global> WindowSlot windowSlot(const char *name)
{
    return {name, [] { return static_cast<QWidget *>(*Global = new T); },
            [] { return static_cast<QWidget *>(*Global); }, [] { *Global = nullptr; }};
}

const std::vector<WindowSlot> &windowSlots()
{
    static const std::vector<WindowSlot> all = {
        windowSlot<TMainForm, &MainForm>("MainForm"),   windowSlot<TXtForm, &XtForm>("XtForm"),
        windowSlot<TYhtjForm, &YhtjForm>("YhtjForm"),   windowSlot<TYhxgForm, &YhxgForm>("YhxgForm"),
        windowSlot<TSptjForm, &SptjForm>("SptjForm"),   windowSlot<TSpxgForm, &SpxgForm>("SpxgForm"),
        windowSlot<TXstjForm, &XstjForm>("XstjForm"),   windowSlot<TXsmxForm, &XsmxForm>("XsmxForm"),
        windowSlot<TXscxForm, &XscxForm>("XscxForm"),   windowSlot<TRjForm, &RjForm>("RjForm"),
        windowSlot<TXshzForm, &XshzForm>("XshzForm"),   windowSlot<TQxsmForm, &QxsmForm>("QxsmForm"),
        windowSlot<TDy58Form, &Dy58Form>("Dy58Form"),   windowSlot<TDy76Form, &Dy76Form>("Dy76Form"),
        windowSlot<TDyjszForm, &DyjszForm>("DyjszForm"),
    };
    return all;
}
} // namespace

void createForms()
{
    try {
        for (const WindowSlot &s : windowSlots())
            s.create();
        wireForms();
    } catch (...) {
        destroyForms();
        throw;
    }
}

void destroyForms()
{
    const auto &all = windowSlots();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        QWidget *w = it->get();
        it->clear();
        delete w;
    }
}

QWidget *formByName(const QString &name)
{
    for (const WindowSlot &s : windowSlots()) {
        if (name == QLatin1String(s.name))
            return s.get();
    }
    return nullptr;
}

QStringList formNames()
{
    QStringList names;
    for (const WindowSlot &s : windowSlots())
        names << QString::fromLatin1(s.name);
    return names;
}

} // namespace app
