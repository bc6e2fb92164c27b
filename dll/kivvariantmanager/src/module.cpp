// SPDX-License-Identifier: MIT
// The module object.  Hosts of the original framework expect a module to own
// exactly one application object, created when the module is loaded and
// destroyed when it is unloaded.  Without that framework it has nothing to
// do: it carries no data and no behaviour, and the variant logic never
// touches it.  Its constructor and destructor must stay trivial in effect, so
// that loading and unloading leave no trace.

namespace {

class CKIVVariantManagerApp {
public:
    CKIVVariantManagerApp() noexcept = default;
    ~CKIVVariantManagerApp() = default;
    CKIVVariantManagerApp(const CKIVVariantManagerApp &) = delete;
    CKIVVariantManagerApp &operator=(const CKIVVariantManagerApp &) = delete;
    CKIVVariantManagerApp(CKIVVariantManagerApp &&) = delete;
    CKIVVariantManagerApp &operator=(CKIVVariantManagerApp &&) = delete;
};

// The one instance, from load to unload.
[[maybe_unused]] CKIVVariantManagerApp theApp;

}  // namespace
