/* SPDX-License-Identifier: MIT */
/* A host that Windows would refuse to start with our DLL: it imports a
 * misspelt name and a function by ordinal (tests/bad_imports.def).  Built,
 * never run: kivvm check-host must refuse it. */
const char *KIVVMGetToolBarFile(void);
int KIVVMInit(const char *identity);

int main(void)
{
    return KIVVMInit("farunbastion") == 1 && KIVVMGetToolBarFile() != 0 ? 0 : 1;
}
