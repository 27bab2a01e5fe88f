"""CheckReport and Finding: the advisory lint as Python sees it."""

import pytest

import quorlen
from definitions import definition, var


def report(variables, **fields):
    body = " ".join("{{ %s }}" % name for name in sorted(variables)) or "static"
    return quorlen.Prompt(definition(body, variables=variables, **fields)).check()


def test_clean_report():
    r = report({"who": var()})
    assert r.passed() is True and r.is_empty() is True
    assert len(r) == 0 and not r
    assert r.findings == []
    assert repr(r) == "CheckReport(findings=0)"


def test_untrusted_variables_without_guard():
    r = report({"b": var(trusted=False), "a": var(trusted=False), "c": var()})
    assert len(r) == 2 and bool(r) is True
    assert r.passed() is False and r.is_empty() is False
    assert repr(r) == "CheckReport(findings=2)"
    first, second = r.findings
    assert [f.detail for f in r.findings] == [first.detail, second.detail]
    assert "`a`" in first.detail and "`b`" in second.detail
    for f in r.findings:
        assert (f.prompt, f.variant, f.kind) == ("greeting", None, "untrusted_without_guard")
    assert repr(first) == ('Finding(prompt="greeting", variant=None, '
                           f'kind="untrusted_without_guard", detail="{first.detail}")')


def test_guard_metadata_silences_the_finding():
    assert report({"a": var(trusted=False)}, metadata={"guard": None}).passed()


def test_findings_are_fresh_on_every_read():
    r = report({"a": var(trusted=False)})
    one, two = r.findings, r.findings
    assert one is not two and one[0] is not two[0]
    one.clear()
    assert len(r.findings) == 1


@pytest.mark.parametrize("cls", [quorlen.CheckReport, quorlen.Finding])
def test_report_classes_are_frozen(cls):
    r = report({"a": var(trusted=False)})
    obj = r if cls is quorlen.CheckReport else r.findings[0]
    with pytest.raises(AttributeError):
        obj.anything = 1
    with pytest.raises(TypeError):
        cls()
