// The dependency of kdxtestmapi_dep.dll that is never on the search path.
extern "C" __declspec(dllexport) int KdxAbsentFunction() {
  return 0;
}
