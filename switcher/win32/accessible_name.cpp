#include "accessible_name.h"

#include <commctrl.h>
#include <oleacc.h>

#include <new>

// The interface ids come from __uuidof: MinGW's liboleacc.a also defines
// IID_IAccessible, as an import thunk rather than the id, and whichever
// library the linker meets first wins.

namespace corvil::switcher::win32 {

namespace {

constexpr UINT_PTR kSubclassId = 0x434f5256; // "CORV"

// oleacc.dll, from the system folder when first asked for: the program
// imports only the DLLs it is checked for, and a control nobody reads
// never loads it. Kept loaded: the objects handed out use it.
struct Oleacc {
    decltype(&::CreateStdAccessibleObject) createStdAccessibleObject = nullptr;
    decltype(&::LresultFromObject) lresultFromObject = nullptr;
};

const Oleacc &oleacc() {
    static const Oleacc loaded = [] {
        Oleacc o;
        wchar_t path[MAX_PATH];
        const UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
        if (n == 0 || n + 12 >= MAX_PATH) return o;
        ::lstrcatW(path, L"\\oleacc.dll");
        HMODULE dll = ::LoadLibraryW(path);
        if (!dll) return o;
        o.createStdAccessibleObject = reinterpret_cast<decltype(o.createStdAccessibleObject)>(
            reinterpret_cast<void (*)()>(::GetProcAddress(dll, "CreateStdAccessibleObject")));
        o.lresultFromObject = reinterpret_cast<decltype(o.lresultFromObject)>(
            reinterpret_cast<void (*)()>(::GetProcAddress(dll, "LresultFromObject")));
        return o;
    }();
    return loaded;
}

std::wstring wide(const std::string &text) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

bool isSelf(const VARIANT &child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

// The role the control's window class and style give it; 0 when it is none
// of the kinds the switcher makes.
LONG roleOf(HWND hwnd) {
    wchar_t cls[32] = {};
    ::GetClassNameW(hwnd, cls, 32);
    if (::lstrcmpiW(cls, L"Edit") == 0) return ROLE_SYSTEM_TEXT;
    if (::lstrcmpiW(cls, L"ComboBox") == 0) return ROLE_SYSTEM_COMBOBOX;
    if (::lstrcmpiW(cls, L"Button") != 0) return 0;
    switch (::GetWindowLongW(hwnd, GWL_STYLE) & BS_TYPEMASK) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON: return ROLE_SYSTEM_PUSHBUTTON;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE: return ROLE_SYSTEM_CHECKBUTTON;
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON: return ROLE_SYSTEM_RADIOBUTTON;
    default: return 0;
    }
}

// The control's standard client object with a name of its own. Made afresh
// for each request and handed out through LresultFromObject, which takes its
// own reference; the object holds the one reference to the standard object
// it was made with.
class NamedAccessible final : public IAccessible, public IOleWindow {
public:
    NamedAccessible(HWND hwnd, IAccessible *standard, std::wstring name)
        : hwnd_(hwnd), standard_(standard), name_(std::move(name)) {}
    NamedAccessible(const NamedAccessible &) = delete;
    NamedAccessible &operator=(const NamedAccessible &) = delete;

    // IUnknown: one identity for both interfaces.
    STDMETHODIMP QueryInterface(REFIID riid, void **out) override {
        if (!out) return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) || riid == __uuidof(IAccessible))
            *out = static_cast<IAccessible *>(this);
        else if (riid == __uuidof(IOleWindow))
            *out = static_cast<IOleWindow *>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = ::InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IOleWindow: how WindowFromAccessibleObject finds the control.
    STDMETHODIMP GetWindow(HWND *out) override {
        if (!out) return E_POINTER;
        *out = hwnd_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IDispatch: answered from this object's own IAccessible, so that a
    // client that reads late-bound (a script, a reader's add-on) hears the
    // same name, role and state as one that calls the methods. The standard
    // object's dispatch would answer with its own name. There is no type
    // information: the members are found by name here.
    STDMETHODIMP GetTypeInfoCount(UINT *n) override {
        if (!n) return E_POINTER;
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **info) override {
        if (info) *info = nullptr;
        return DISP_E_BADINDEX;
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR *names, UINT count, LCID, DISPID *ids) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!names || !ids) return E_POINTER;
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            // Only the member itself: none of them takes named arguments.
            if (i == 0) ids[0] = memberId(names[0]);
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS *params, VARIANT *result,
                        EXCEPINFO *, UINT *argError) override {
        if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        if (!params) return E_INVALIDARG;
        // Names and values are set through the methods only; what is left
        // takes no named arguments.
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return DISP_E_MEMBERNOTFOUND;
        if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
        // Arguments come last first; the child is the last one, and optional.
        VARIANT child;
        ::VariantInit(&child);
        const UINT argc = params->cArgs;
        const bool method = (flags & DISPATCH_METHOD) != 0;
        // A script may call a property with arguments as a method.
        const bool getter = (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0;
        const auto takeChild = [&](UINT most) -> HRESULT {
            if (argc > most) return DISP_E_BADPARAMCOUNT;
            child.vt = VT_I4;
            child.lVal = CHILDID_SELF;
            if (argc == 0) return S_OK;
            VARIANT &given = params->rgvarg[argc - 1];
            if (given.vt == VT_ERROR && given.scode == DISP_E_PARAMNOTFOUND) return S_OK;
            if (FAILED(::VariantChangeType(&child, &given, 0, VT_I4))) {
                if (argError) *argError = argc - 1;
                return DISP_E_TYPEMISMATCH;
            }
            return S_OK;
        };
        VARIANT scratch;
        ::VariantInit(&scratch);
        VARIANT *out = result ? result : &scratch;
        ::VariantInit(out);
        HRESULT hr = DISP_E_MEMBERNOTFOUND;
        const auto text = [&](decltype(&NamedAccessible::get_accName) get) {
            if (!getter) return DISP_E_MEMBERNOTFOUND;
            HRESULT r = takeChild(1);
            if (FAILED(r)) return r;
            BSTR value = nullptr;
            r = (this->*get)(child, &value);
            if (SUCCEEDED(r)) {
                out->vt = VT_BSTR;
                out->bstrVal = value;
            }
            return r;
        };
        const auto variant = [&](decltype(&NamedAccessible::get_accRole) get) {
            if (!getter) return DISP_E_MEMBERNOTFOUND;
            const HRESULT r = takeChild(1);
            return FAILED(r) ? r : (this->*get)(child, out);
        };
        switch (id) {
        case DISPID_ACC_NAME: hr = text(&NamedAccessible::get_accName); break;
        case DISPID_ACC_VALUE: hr = text(&NamedAccessible::get_accValue); break;
        case DISPID_ACC_DESCRIPTION: hr = text(&NamedAccessible::get_accDescription); break;
        case DISPID_ACC_HELP: hr = text(&NamedAccessible::get_accHelp); break;
        case DISPID_ACC_KEYBOARDSHORTCUT: hr = text(&NamedAccessible::get_accKeyboardShortcut); break;
        case DISPID_ACC_DEFAULTACTION: hr = text(&NamedAccessible::get_accDefaultAction); break;
        case DISPID_ACC_ROLE: hr = variant(&NamedAccessible::get_accRole); break;
        case DISPID_ACC_STATE: hr = variant(&NamedAccessible::get_accState); break;
        case DISPID_ACC_CHILDCOUNT:
            if (!getter) break;
            if (argc != 0) return DISP_E_BADPARAMCOUNT;
            out->vt = VT_I4;
            hr = get_accChildCount(&out->lVal);
            break;
        case DISPID_ACC_PARENT:
            if (!getter) break;
            if (argc != 0) return DISP_E_BADPARAMCOUNT;
            out->vt = VT_DISPATCH;
            out->pdispVal = nullptr;
            hr = get_accParent(&out->pdispVal);
            break;
        case DISPID_ACC_FOCUS:
        case DISPID_ACC_SELECTION:
            if (!getter) break;
            if (argc != 0) return DISP_E_BADPARAMCOUNT;
            hr = id == DISPID_ACC_FOCUS ? get_accFocus(out) : get_accSelection(out);
            break;
        case DISPID_ACC_DODEFAULTACTION:
            if (!method) break;
            hr = takeChild(1);
            if (SUCCEEDED(hr)) hr = accDoDefaultAction(child);
            break;
        default: break;
        }
        if (FAILED(hr)) ::VariantClear(out);
        ::VariantClear(&scratch);
        ::VariantClear(&child);
        return hr;
    }

    // IAccessible: the standard object's answers but for the name, and the
    // role and checked state where the standard object knows only a client
    // area.
    STDMETHODIMP get_accName(VARIANT child, BSTR *out) override {
        if (!isSelf(child)) return standard_->get_accName(child, out);
        if (!out) return E_POINTER;
        *out = ::SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP get_accRole(VARIANT child, VARIANT *out) override {
        const HRESULT hr = standard_->get_accRole(child, out);
        if (SUCCEEDED(hr) && isSelf(child) && genericRole(*out))
            if (const LONG own = roleOf(hwnd_)) out->lVal = own;
        return hr;
    }
    STDMETHODIMP get_accState(VARIANT child, VARIANT *out) override {
        const HRESULT hr = standard_->get_accState(child, out);
        if (FAILED(hr) || !isSelf(child) || out->vt != VT_I4) return hr;
        const LONG own = roleOf(hwnd_);
        if (own != ROLE_SYSTEM_CHECKBUTTON && own != ROLE_SYSTEM_RADIOBUTTON) return hr;
        VARIANT role;
        ::VariantInit(&role);
        if (SUCCEEDED(standard_->get_accRole(child, &role)) && genericRole(role) &&
            ::SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED)
            out->lVal |= STATE_SYSTEM_CHECKED;
        ::VariantClear(&role);
        return hr;
    }
    STDMETHODIMP get_accParent(IDispatch **out) override { return standard_->get_accParent(out); }
    STDMETHODIMP get_accChildCount(LONG *out) override { return standard_->get_accChildCount(out); }
    STDMETHODIMP get_accChild(VARIANT child, IDispatch **out) override { return standard_->get_accChild(child, out); }
    STDMETHODIMP get_accValue(VARIANT child, BSTR *out) override { return standard_->get_accValue(child, out); }
    STDMETHODIMP get_accDescription(VARIANT child, BSTR *out) override {
        return standard_->get_accDescription(child, out);
    }
    STDMETHODIMP get_accHelp(VARIANT child, BSTR *out) override { return standard_->get_accHelp(child, out); }
    STDMETHODIMP get_accHelpTopic(BSTR *file, VARIANT child, LONG *topic) override {
        return standard_->get_accHelpTopic(file, child, topic);
    }
    STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR *out) override {
        return standard_->get_accKeyboardShortcut(child, out);
    }
    STDMETHODIMP get_accFocus(VARIANT *out) override { return standard_->get_accFocus(out); }
    STDMETHODIMP get_accSelection(VARIANT *out) override { return standard_->get_accSelection(out); }
    STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR *out) override {
        return standard_->get_accDefaultAction(child, out);
    }
    STDMETHODIMP accSelect(LONG flags, VARIANT child) override { return standard_->accSelect(flags, child); }
    STDMETHODIMP accLocation(LONG *x, LONG *y, LONG *w, LONG *h, VARIANT child) override {
        return standard_->accLocation(x, y, w, h, child);
    }
    STDMETHODIMP accNavigate(LONG dir, VARIANT start, VARIANT *out) override {
        return standard_->accNavigate(dir, start, out);
    }
    STDMETHODIMP accHitTest(LONG x, LONG y, VARIANT *out) override { return standard_->accHitTest(x, y, out); }
    STDMETHODIMP accDoDefaultAction(VARIANT child) override { return standard_->accDoDefaultAction(child); }
    STDMETHODIMP put_accName(VARIANT child, BSTR name) override { return standard_->put_accName(child, name); }
    STDMETHODIMP put_accValue(VARIANT child, BSTR value) override { return standard_->put_accValue(child, value); }

private:
    ~NamedAccessible() { standard_->Release(); }
    // The dispatch id of a member Invoke answers; DISPID_UNKNOWN for others.
    static DISPID memberId(const wchar_t *name) {
        static const struct {
            const wchar_t *name;
            DISPID id;
        } kMembers[] = {
            {L"accName", DISPID_ACC_NAME},
            {L"accValue", DISPID_ACC_VALUE},
            {L"accDescription", DISPID_ACC_DESCRIPTION},
            {L"accRole", DISPID_ACC_ROLE},
            {L"accState", DISPID_ACC_STATE},
            {L"accHelp", DISPID_ACC_HELP},
            {L"accKeyboardShortcut", DISPID_ACC_KEYBOARDSHORTCUT},
            {L"accDefaultAction", DISPID_ACC_DEFAULTACTION},
            {L"accChildCount", DISPID_ACC_CHILDCOUNT},
            {L"accParent", DISPID_ACC_PARENT},
            {L"accFocus", DISPID_ACC_FOCUS},
            {L"accSelection", DISPID_ACC_SELECTION},
            {L"accDoDefaultAction", DISPID_ACC_DODEFAULTACTION},
        };
        if (!name) return DISPID_UNKNOWN;
        for (const auto &m : kMembers)
            if (::lstrcmpiW(name, m.name) == 0) return m.id;
        return DISPID_UNKNOWN;
    }
    static bool genericRole(const VARIANT &role) { return role.vt == VT_I4 && role.lVal == ROLE_SYSTEM_CLIENT; }

    LONG refs_ = 1;
    HWND hwnd_;
    IAccessible *standard_;
    std::wstring name_;
};

// The control's name lives with its subclass, from setAccessibleName until
// the window goes; the window property finds it for a new name (comctl32
// exports GetWindowSubclass by ordinal only).
constexpr wchar_t kNameProperty[] = L"CorvilAccessibleName";

LRESULT CALLBACK namedProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data) {
    auto *name = reinterpret_cast<std::wstring *>(data);
    if (message == WM_GETOBJECT && static_cast<DWORD>(lParam) == static_cast<DWORD>(OBJID_CLIENT)) {
        const Oleacc &dll = oleacc();
        IAccessible *standard = nullptr;
        if (dll.createStdAccessibleObject && dll.lresultFromObject &&
            SUCCEEDED(dll.createStdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                                    reinterpret_cast<void **>(&standard)))) {
            auto *named = new (std::nothrow) NamedAccessible(hwnd, standard, *name);
            if (!named) {
                standard->Release();
                return ::DefSubclassProc(hwnd, message, wParam, lParam);
            }
            const LRESULT result = dll.lresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible *>(named));
            named->Release();
            return result;
        }
    } else if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, namedProc, id);
        ::RemovePropW(hwnd, kNameProperty);
        delete name;
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

} // namespace

void setAccessibleName(HWND control, const std::string &name) {
    if (auto *named = static_cast<std::wstring *>(::GetPropW(control, kNameProperty))) {
        *named = wide(name);
        return;
    }
    auto *fresh = new std::wstring(wide(name));
    if (!::SetPropW(control, kNameProperty, fresh)) {
        delete fresh;
        return;
    }
    if (!::SetWindowSubclass(control, namedProc, kSubclassId, reinterpret_cast<DWORD_PTR>(fresh))) {
        ::RemovePropW(control, kNameProperty);
        delete fresh;
    }
}

} // namespace corvil::switcher::win32
