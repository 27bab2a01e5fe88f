"""Hostile inputs end in a clear error within bounded time and memory, whatever path they take:
definition text, dicts, models, overlays, render and composition data and the templates themselves.

Each case runs in a fresh interpreter, so a crash fails one case instead of the whole run and the
child's peak memory measures that case alone."""

import json
import os
import subprocess
import sys
import textwrap

import pytest

# A hang guard, not a speed check: every case ends within a few seconds here, but the suites
# also run under sanitizers and on loaded machines.
HANG_SECONDS = 180
# Peak growth while the hostile call runs, over what the child held just before it.
MEGABYTES = 700

PRELUDE = textwrap.dedent("""
    import json, resource, sys, typing
    import pydantic, quorlen
    sys.setrecursionlimit(1_000_000)
    HEAD = {"name": "g", "role": "user"}
    class Any(pydantic.BaseModel):
        x: typing.Any = None
    def body(text, **variables):
        return quorlen.Prompt({**HEAD, "body": text,
                               "variables": {k: {"type": v, "trusted": True}
                                             for k, v in variables.items()}})
    def nested(depth, leaf=0):
        for _ in range(depth):
            leaf = [leaf]
        return leaf
    def deep_dict(depth):
        d = {}
        for _ in range(depth):
            d = {"k": d}
        return d
""")

RUN = textwrap.dedent("""
    def peak():
        return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss // 1024
    before = peak()
    try:
        call()
        outcome = "ok"
    except quorlen.QuorlenError as e:
        outcome = type(e).__name__ + ": " + str(e)
    except Exception as e:
        outcome = "other " + type(e).__name__ + ": " + str(e)
    print(json.dumps({"outcome": outcome[:500], "grown": peak() - before}))
""")

DEEP = 100_000
LAUGHS = "a: &a [x, x, x, x, x, x, x, x, x]\n" + "".join(
    f"{c}: &{c} [*{p}, *{p}, *{p}, *{p}, *{p}, *{p}, *{p}, *{p}, *{p}]\n"
    for p, c in zip("abcdefgh", "bcdefghi"))

# Each case: setup code building the input (not measured), the hostile call, and what the
# outcome must start with ("ok" where the input is large but legitimate).
LOAD = "LoadError: failed to load prompt definition: "
RENDER = "PromptRenderError: render failed (1 error(s)); template: "
HEAD_JSON = '{"name":"g","role":"user","body":"Hi","metadata":{"m":'
HEAD_YAML = "name: g\\nrole: user\\nbody: Hi\\nmetadata:\\n  m: "
HEAD_TOML = 'name = \"g\"\\nrole = \"user\"\\nbody = \"Hi\"\\n[metadata]\\nm = '
FLAT = "[' + '0,' * 1_500_000 + '0]"
LOOP = "{% set ns = namespace(x=[]) %}{% for i in range(100000) %}{% set ns.x = [ns.x] %}{% endfor %}"

CASES = {
    # Definition text.
    "yaml-billion-laughs": (f"text = {LAUGHS!r} + 'name: g\\nrole: user\\nbody: Hi\\n'",
                            "quorlen.Prompt.from_yaml(text)", LOAD + "repetition limit exceeded"),
    "json-deep-text": (f"text = '{HEAD_JSON}' + '[' * {DEEP}", "quorlen.Prompt.from_json(text)",
                       LOAD + "recursion limit exceeded"),
    "yaml-deep-text": (f"text = '{HEAD_YAML}' + '[' * {DEEP}", "quorlen.Prompt.from_yaml(text)",
                       LOAD + "recursion limit exceeded"),
    "toml-deep-text": (f"text = '{HEAD_TOML}' + '[' * {DEEP}", "quorlen.Prompt.from_toml(text)",
                       LOAD + "TOML parse error"),
    "json-flat": (f"text = '{HEAD_JSON}{FLAT}}}}}'", "quorlen.Prompt.from_json(text)",
                  LOAD + "too many keys and values"),
    "yaml-flat": (f"text = '{HEAD_YAML}{FLAT}'", "quorlen.Prompt.from_yaml(text)",
                  LOAD + "too many keys and values"),
    "toml-flat": (f"text = '{HEAD_TOML}{FLAT}'", "quorlen.Prompt.from_toml(text)",
                  LOAD + "TOML parse error"),
    "json-100mb-body": ("text = json.dumps({**HEAD, 'body': 'x' * 100_000_000})",
                        "quorlen.Prompt.from_json(text).render(Any, data={})", RENDER),
    "yaml-100mb-string": (f"text = '{HEAD_YAML}' + repr('x' * 100_000_000)",
                          "quorlen.Prompt.from_yaml(text).metadata", "ok"),
    "toml-100mb-string": (f"text = '{HEAD_TOML}' + repr('x' * 100_000_000)",
                          "quorlen.Prompt.from_toml(text).metadata", "ok"),
    # Dicts, models and render data.
    "dict-deep-metadata": (f"shape = {{**HEAD, 'body': 'Hi', 'metadata': deep_dict({DEEP})}}",
                           "quorlen.Prompt(shape)", LOAD + "recursion limit exceeded"),
    "data-deep-list": ("p = body('{{ x }}', x='array'); data = {'x': nested(150)}",
                       "p.render(Any, data=data)", LOAD + "could not marshal Python value: recursion limit exceeded"),
    "model-deep-list": ("p = body('{{ x }}', x='array'); m = Any(x=nested(150))",
                        "p.render(m)", LOAD + "could not marshal Python value: recursion limit exceeded"),
    "overlay-deep-metadata": (f"p = body('Hi'); overlay = {{'metadata': deep_dict({DEEP})}}",
                              "p.derive(overlay, strategy=quorlen.MergeStrategy.MERGE)",
                              LOAD + "recursion limit exceeded"),
    "composition-deep-vars": ("p = body('{{ x }}', x='array'); m = Any(x=nested(150))",
                              "quorlen.Composition.from_messages([(p, m)])",
                              LOAD + "could not marshal Python value: recursion limit exceeded"),
    # Deeper than pydantic itself serializes: its own error passes through unchanged.
    "data-deeper-than-pydantic": (f"p = body('{{{{ x }}}}', x='array'); data = {{'x': nested({DEEP})}}",
                                  "p.render(Any, data=data)",
                                  "other ValueError: Maximum serialization depth exceeded"),
    "data-100mb-string": ("p = body('{{ x|length }}', x='string'); data = {'x': 'y' * 100_000_000}",
                          "p.render(Any, data=data)", "ok"),
    # Templates.
    "range-1e9": ("", "body('{% for i in range(10**9) %}{% endfor %}').render(Any, data={})", RENDER),
    "nested-loops": ("", "body('{% for a in range(100000) %}{% for b in range(100000) %}x"
                     "{% endfor %}{% endfor %}').render(Any, data={})", RENDER),
    "recursive-macro": ("", "body('{% macro f() %}{{ f() }}{% endmacro %}{{ f() }}')",
                        RENDER + "template uses an excluded feature"),
    "recursive-loop": ("", "body('{% for i in [1] recursive %}{{ loop([1]) }}{% endfor %}')"
                       ".render(Any, data={})", RENDER),
    "string-repetition": ("", "body('{{ \"x\" * 10**10 }}').render(Any, data={})", RENDER),
    "repeated-repetition": ("", "body('{% set s = \"x\" * 1000000 %}{{ s * 10000 }}')"
                            ".render(Any, data={})", RENDER),
    "concat-doubling": ("", "body('{% set ns = namespace(s=\"x\") %}{% for i in range(64) %}"
                        "{% set ns.s = ns.s ~ ns.s %}{% endfor %}{{ ns.s|length }}')"
                        ".render(Any, data={})", RENDER),
    "repeated-large-scans": ("", "body('{% set s = \"x\" * 8000000 %}{% for i in range(100000) %}"
                             "{% if \"y\" in s %}{% endif %}{% endfor %}').render(Any, data={})", RENDER),
    "sorting-characters": ("", "body('{{ (\"ab\" * 600000)|sort|length }}').render(Any, data={})",
                           RENDER),
    "deep-template-text": (f"text = '{{{{ ' + '(' * {DEEP} + '1' + ')' * {DEEP} + ' }}}}'",
                           "body(text)", RENDER + "template parse error"),
    "deep-value-printed": ("", f"body('{LOOP}{{{{ ns.x }}}}').render(Any, data={{}})", RENDER),
    "deep-value-length": ("", f"body('{LOOP}{{{{ ns.x|length }}}}').render(Any, data={{}})", RENDER),
    "deep-value-dropped": ("", f"body('{LOOP}').render(Any, data={{}})", RENDER),
}


def run_case(setup, call, **env):
    code = PRELUDE + setup + "\ndef call():\n    " + call + "\n" + RUN
    # The same interpreter the same way (without `site` under the sanitizer run).
    flags = ["-S"] if sys.flags.no_site else []
    done = subprocess.run([sys.executable, *flags, "-c", code], capture_output=True, text=True,
                          timeout=HANG_SECONDS, env={**os.environ, **env})
    assert done.returncode == 0, done.stderr[-3000:]
    return json.loads(done.stdout.splitlines()[-1])


@pytest.mark.parametrize("case", sorted(CASES))
def test_hostile_input_is_a_clear_bounded_error(case):
    setup, call, expected = CASES[case]
    result = run_case(setup, call)
    outcome = result["outcome"]
    assert outcome.startswith(expected), outcome
    assert result["grown"] < MEGABYTES, result


# OpenSSL configured with only its null provider has no SHA-256: the render must fail rather
# than hand out a made-up digest as provenance.
NULL_PROVIDER = """openssl_conf = init
[init]
providers = providers
[providers]
null = null
[null]
activate = 1
"""


def test_a_failing_digest_library_fails_the_render(tmp_path):
    conf = tmp_path / "openssl.cnf"
    conf.write_text(NULL_PROVIDER)
    call = "print(body('Hi').render(Any, data={}).render_hash)"
    assert run_case("", call)["outcome"] == "ok"  # the case itself is sound
    result = run_case("", call, OPENSSL_CONF=str(conf))
    assert result["outcome"] == RENDER + "render error [render]"
