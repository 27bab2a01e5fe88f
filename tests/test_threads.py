"""Shared prompts rendered, checked, derived and composed from many threads at once behave
exactly as in a serial run."""

import sys
import threading

import pydantic
import pytest

import quorlen
from definitions import definition, var


class Who(pydantic.BaseModel):
    who: str
    n: int = 0


SHARED = [
    quorlen.Prompt(definition("Hi {{ who }}{% for i in range(n) %} {{ i }}{% endfor %}!",
                              variables={"who": var(), "n": var("integer")},
                              variants={"short": {"body": "Yo {{ who|upper }}"}})),
    quorlen.Prompt.from_yaml("name: g\nrole: user\nbody: '{{ who }} {{ who.missing.deeper }}'\n"
                             "variables:\n  who: {type: string, trusted: false}\n"),
]
GUARD = quorlen.GuardConfig(enabled=True)


def work(i):
    """One thread's sequence of calls, each outcome as a comparable value."""
    out = []
    for p in SHARED:
        for variant in (None, "short"):
            try:
                r = p.render(Who, data={"who": f"w{i % 3}", "n": i % 5}, variant=variant,
                             guard=GUARD if i % 2 else None)
                out.append((r.text, r.render_hash, r.template_hash, r.guard))
            except quorlen.QuorlenError as e:
                out.append((type(e).__name__, str(e), [(x.field, x.code) for x in e.errors]))
        out.append([(f.kind, f.variant, f.detail) for f in p.check().findings])
        derived = outcome(lambda: p.derive(
            {"body": f"{{{{ who }}}} #{i}", "metadata": {"round": i}},
            strategy=quorlen.MergeStrategy.MERGE if i % 2 else quorlen.MergeStrategy.REPLACE))
        out.append(derived if derived[0] != "ok" else (derived[1].metadata, derived[1].get_source()))
        entries = [(p, Who(who=f"c{i}")), (SHARED[0], Who(who="d", n=i % 3), "short")]
        out.append(outcome(lambda: [(m.role, m.text) for m in
                                    quorlen.Composition.from_messages(entries).resolve()]))
    return out


def outcome(call):
    try:
        return "ok", call()
    except quorlen.QuorlenError as e:
        return type(e).__name__, str(e), [(x.field, x.code) for x in e.errors]


@pytest.fixture
def fast_switching():
    before = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(before)


def test_eight_threads_match_a_serial_run(fast_switching):
    rounds = 40
    expected = [work(i) for i in range(rounds)]
    results = {}
    barrier = threading.Barrier(8)

    def run(t):
        barrier.wait()
        results[t] = [work(i) for i in range(rounds)]

    threads = [threading.Thread(target=run, args=(t,)) for t in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert len(results) == 8
    for got in results.values():
        assert got == expected
