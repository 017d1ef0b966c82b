#!/usr/bin/env python3
"""Validates a SARIF log against a JSON schema: validate_sarif.py SCHEMA LOG.

Exit status 0 when valid; 1 with the errors when not; 3 when the validator
itself is missing (the jsonschema module), so a test can tell that apart.
"""
import json
import sys

try:
    import jsonschema
except ImportError:
    print("the Python module jsonschema is missing (Debian: python3-jsonschema)", file=sys.stderr)
    sys.exit(3)


def main():
    schema_path, log_path = sys.argv[1], sys.argv[2]
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    with open(log_path, encoding="utf-8") as f:
        log = json.load(f)
    validator_class = jsonschema.validators.validator_for(schema)
    validator_class.check_schema(schema)
    errors = sorted(validator_class(schema).iter_errors(log), key=lambda e: list(e.path))
    for error in errors:
        print("/".join(str(p) for p in error.path) + ": " + error.message, file=sys.stderr)
    sys.exit(1 if errors else 0)


if __name__ == "__main__":
    main()
