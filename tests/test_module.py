"""The module frame: namespace, classes' common properties, argument binding, abi3."""

import glob
import inspect
import os
import shutil
import subprocess
import sys
import weakref
from pathlib import Path

import pytest

import quorlen

NAMESPACE = [
    "core_version",
    "FieldError",
    "QuorlenError",
    "PromptValidationError",
    "PromptRenderError",
    "LoadError",
    "PromptLoadError",
    "make_prompt_load_error",
    "RenderResult",
    "GuardConfig",
    "CheckReport",
    "Finding",
    "Composition",
    "Message",
    "Prompt",
    "MergeStrategy",
]
CLASSES = ["FieldError", "RenderResult", "GuardConfig", "CheckReport", "Finding", "Composition",
           "Message", "Prompt", "MergeStrategy"]
NOT_CONSTRUCTIBLE = ["FieldError", "RenderResult", "CheckReport", "Finding", "Message",
                     "MergeStrategy"]
ROOT = Path(__file__).resolve().parent.parent

# Child interpreters run the way this one does: without `site` under the sanitizer run, so they
# import the same build of the module.
PYTHON = [sys.executable, *(["-S"] if sys.flags.no_site else [])]


def present(names):
    return [n for n in names if hasattr(quorlen, n)]


def test_all_lists_the_namespace_in_registration_order():
    assert quorlen.__all__ == present(NAMESPACE)
    public = {n for n in vars(quorlen) if not n.startswith("_")}
    assert public == set(quorlen.__all__)
    assert quorlen.__all__[:8] == NAMESPACE[:8]


def test_no_version_attribute():
    assert not hasattr(quorlen, "__version__")


def test_core_version():
    assert quorlen.core_version() == "0.5.0"
    assert str(inspect.signature(quorlen.core_version)) == "()"


@pytest.mark.parametrize("call", [
    lambda: quorlen.core_version(1),
    lambda: quorlen.core_version(x=1),
    lambda: quorlen.make_prompt_load_error("a", "b", "c"),
    lambda: quorlen.make_prompt_load_error("a"),
    lambda: quorlen.make_prompt_load_error("a", "b", extra=1),
    lambda: quorlen.make_prompt_load_error("a", "b", error_code="c"),
    lambda: quorlen.make_prompt_load_error(**{"message": "m", 1: 2}),
], ids=["positional-to-noargs", "keyword-to-noargs", "too-many", "missing", "unexpected-kw",
        "twice", "non-str-keyword"])
def test_arity_and_keyword_mismatches_raise_type_error(call):
    with pytest.raises(TypeError):
        call()


@pytest.mark.parametrize("call, wording", [
    (lambda: quorlen.core_version(1), "takes no arguments (1 given)"),
    (lambda: quorlen.make_prompt_load_error("a"),
     "make_prompt_load_error() missing required argument 'message' (pos 2)"),
    (lambda: quorlen.make_prompt_load_error("a", "b", x=1),
     "make_prompt_load_error() got an unexpected keyword argument 'x'"),
    (lambda: quorlen.make_prompt_load_error("a", "b", "c"),
     "make_prompt_load_error() takes exactly 2 positional arguments (3 given)"),
    (lambda: quorlen.make_prompt_load_error("a", "b", error_code="c"),
     "argument for make_prompt_load_error() given by name ('error_code') and position (1)"),
])
def test_mismatch_wording_follows_the_interpreter(call, wording):
    with pytest.raises(TypeError) as info:
        call()
    assert wording in str(info.value)


@pytest.mark.parametrize("name", present(CLASSES))
def test_classes_share_the_frame_properties(name):
    cls = getattr(quorlen, name)
    assert cls.__module__ == "quorlen"
    assert cls.__qualname__ == name
    assert cls.__bases__ == (object,)
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    assert "__dict__" not in dir(cls)
    assert "__weakref__" not in dir(cls)


@pytest.mark.parametrize("name", present(NOT_CONSTRUCTIBLE))
def test_classes_without_constructor_refuse_calls(name):
    with pytest.raises(TypeError):
        getattr(quorlen, name)()


@pytest.mark.parametrize("name", present(CLASSES))
def test_no_instance_without_its_payload(name):
    # object.__new__ would make an instance whose C++ value was never built.
    with pytest.raises(TypeError):
        object.__new__(getattr(quorlen, name))


def test_instances_take_no_attributes_or_weak_references():
    row = quorlen.make_prompt_load_error("c", "m").errors[0]
    with pytest.raises(AttributeError):
        row.field = "x"
    with pytest.raises(AttributeError):
        row.anything = 1
    with pytest.raises(TypeError):
        weakref.ref(row)


def test_reimport_shares_the_classes():
    import importlib.util
    spec = importlib.util.find_spec("quorlen")
    again = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(again)
    assert again is not quorlen
    assert again.__all__ == quorlen.__all__
    for name in quorlen.__all__:
        if isinstance(getattr(quorlen, name), type):
            assert getattr(again, name) is getattr(quorlen, name)


def test_import_is_refused_in_a_sub_interpreter(tmp_path):
    testcapi = pytest.importorskip("_testcapi")
    out = tmp_path / "out.txt"
    code = (
        "import importlib.util\n"
        f"spec = importlib.util.find_spec('quorlen')\n"
        "m = importlib.util.module_from_spec(spec)\n"
        "try:\n"
        "    spec.loader.exec_module(m); msg = 'imported'\n"
        "except ImportError as e:\n"
        "    msg = 'ImportError: ' + str(e)\n"
        f"open({str(out)!r}, 'w').write(msg)\n"
    )
    assert testcapi.run_in_subinterp(code) == 0
    assert out.read_text().startswith("ImportError")


def _python313():
    # pyenv's shims exist even where they cannot run, so try each candidate.
    root = os.environ.get("PYENV_ROOT") or os.path.expanduser("~/.pyenv")
    candidates = sorted(glob.glob(os.path.join(root, "versions", "3.13*", "bin", "python3.13")))
    candidates += [p for p in [shutil.which("python3.13")] if p]
    for candidate in candidates:
        probe = subprocess.run([candidate, "-c", "import sys; print(sys.version_info[:2])"],
                               capture_output=True, text=True)
        if probe.returncode == 0 and probe.stdout.strip() == "(3, 13)":
            return candidate
    return None


def test_abi3_wheel_imports_under_python_3_13(tmp_path):
    py313 = _python313()
    if not py313:
        pytest.skip("no python3.13 on this machine (pyenv versions/3.13*)")
    wheels = tmp_path / "wheels"
    subprocess.run(
        [*PYTHON, "-m", "pip", "wheel", "-q", "--no-build-isolation", "--no-deps",
         "--config-settings=build-dir=build/py", "-w", str(wheels), str(ROOT)],
        cwd=ROOT, check=True)
    (wheel,) = wheels.glob("quorlen-*.whl")
    assert "-cp312-abi3-" in wheel.name
    venv = tmp_path / "venv313"
    subprocess.run([py313, "-m", "venv", str(venv)], check=True)
    vpy = venv / "bin" / "python"
    subprocess.run([str(vpy), "-m", "pip", "install", "-q", "--no-deps", "--no-index",
                    str(wheel)], check=True)
    out = subprocess.run(
        [str(vpy), "-c", "import sys, quorlen; "
         "assert sys.version_info[:2] == (3, 13); print(quorlen.core_version())"],
        cwd=tmp_path, capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "0.5.0"


def test_type_stub_matches_the_module_and_types_the_examples():
    pytest.importorskip("mypy")
    stubtest = subprocess.run([*PYTHON, "-m", "mypy.stubtest", "quorlen"],
                              capture_output=True, text=True, cwd=ROOT)
    assert stubtest.returncode == 0, stubtest.stdout + stubtest.stderr
    strict = subprocess.run([*PYTHON, "-m", "mypy", "--strict", "examples/"],
                            capture_output=True, text=True, cwd=ROOT)
    assert strict.returncode == 0, strict.stdout + strict.stderr


def test_quickstart_runs():
    out = subprocess.run([*PYTHON, str(ROOT / "examples" / "quickstart.py")],
                         capture_output=True, text=True, check=True)
    assert "<untrusted>" in out.stdout
    assert "quorlen.prompt.render_hash" in out.stdout
