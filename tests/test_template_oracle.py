"""Differential test of the template engine against the `minijinja` package.

Each corpus case is rendered by our engine through the test-only probe executable and by
minijinja in strict-undefined mode without auto-escaping. Both must print the same text or
both must fail; the cases where we differ on purpose are listed, with the reason, in
template_corpus.DOCUMENTED_DIFFERENCES.
"""

import json
import os
import pathlib
import subprocess

import pytest

import template_corpus as corpus

minijinja = pytest.importorskip("minijinja")

ROOT = pathlib.Path(__file__).resolve().parent.parent
PROBE = pathlib.Path(os.environ.get("QUORLEN_JINJA_PROBE", ROOT / "build" / "py" / "jinja_probe"))


def _literal(value):
    """The template literal of a context value (maps with sorted keys, as our engine keeps them)."""
    if value is None:
        return "none"
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, (int, float)):
        return repr(value)
    if isinstance(value, str):
        return json.dumps(value, ensure_ascii=False)
    if isinstance(value, list):
        return "[" + ", ".join(_literal(v) for v in value) + "]"
    return "{" + ", ".join(f"{_literal(k)}: {_literal(value[k])}" for k in sorted(value)) + "}"


def _oracle(template, context):
    # The context is bound through `set` statements so that minijinja holds its own values
    # (values handed over from Python keep Python's methods and printing).
    env = minijinja.Environment(undefined_behavior="strict")
    prelude = "".join("{%% set %s = %s %%}" % (k, _literal(v)) for k, v in sorted(context.items()))
    try:
        return True, env.render_str(prelude + template)
    except minijinja.TemplateError as e:
        return False, e.kind
    except Exception as e:  # values minijinja hands to Python can raise Python errors
        return False, type(e).__name__


def _ours(cases):
    lines = "".join(json.dumps({"template": t, "context": c}) + "\n" for t, c in cases)
    run = subprocess.run([str(PROBE)], input=lines.encode(), capture_output=True, timeout=300)
    assert run.returncode == 0, run.stderr.decode(errors="replace")
    results = [json.loads(line) for line in run.stdout.decode(errors="replace").splitlines()]
    assert len(results) == len(cases)
    return [(r["ok"], r["out"] if r["ok"] else r["kind"]) for r in results]


@pytest.fixture(scope="module")
def outcomes():
    if not PROBE.exists():
        pytest.skip(f"the engine probe {PROBE} is not built (cmake -DQUORLEN_BUILD_TESTS=ON)")
    ours = _ours(corpus.CASES)
    return [(t, _oracle(t, c), o) for (t, c), o in zip(corpus.CASES, ours)]


def _agree(theirs, ours):
    return theirs == ours if (theirs[0] or ours[0]) else True


def test_corpus_covers_the_whole_language():
    text = "\n".join(t for t, _ in corpus.CASES)
    for name in (
        "safe escape e lower upper title capitalize replace length count dictsort items "
        "reverse trim join split lines default d round abs int float attr first last min max "
        "sort list string bool batch slice sum indent select reject selectattr rejectattr map "
        "groupby unique chain zip pprint format"
    ).split():
        assert f"|{name}" in text, name
    for name in (
        "undefined defined none safe escaped boolean odd even divisibleby number integer int "
        "float string sequence iterable mapping startingwith endingwith lower upper sameas eq "
        "equalto ne lt lessthan le gt greaterthan ge in true false filter test"
    ).split():
        assert f"is {name}" in text, name
    for name in ("range(", "dict(", "namespace(", "debug"):
        assert name in text, name
    for name in ("if", "elif", "else", "for", "set", "endset", "with", "filter", "autoescape", "do", "raw"):
        assert "{% " + name in text, name


def test_engine_agrees_with_oracle(outcomes):
    undocumented = [
        f"{t!r}\n    minijinja: {theirs!r}\n    ours:      {ours!r}"
        for t, theirs, ours in outcomes
        if not _agree(theirs, ours) and t not in corpus.DOCUMENTED_DIFFERENCES
    ]
    assert not undocumented, "undocumented differences:\n" + "\n".join(undocumented)


def test_agreement_is_at_least_99_percent(outcomes):
    agreeing = sum(_agree(theirs, ours) for _, theirs, ours in outcomes)
    assert agreeing >= 0.99 * len(outcomes), f"{agreeing} of {len(outcomes)} agree"


def test_documented_differences_are_in_the_corpus():
    templates = {t for t, _ in corpus.CASES}
    assert set(corpus.DOCUMENTED_DIFFERENCES) <= templates
