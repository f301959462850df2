// A library that nothing else loads, so that the tests can watch it come and go.
extern "C" int pluginFunctionForTest(int value)
{
    return value * 7 + 1;
}
