// Words for why a line meant as a camera line was skipped, from where the
// matcher stopped reading it (camera::StopPoint) and the text around that.
'use strict';

const CAMERA_KEYS = ['x', 'y', 'z', 'pitch', 'yaw', 'roll', 'fov'];
// camera::StopPoint::Expected, in its order.
const EXPECTED = { openingQuote: 0, name: 1, closingQuote: 2, key: 3, number: 4, nothing: 5 };

// One character per byte, so that offsets into the string are offsets into the bytes.
function byteString(bytes) {
  let text = '';
  for (let at = 0; at < bytes.length; at += 8192) {
    text += String.fromCharCode.apply(null, bytes.subarray(at, at + 8192));
  }
  return text;
}

const isSpace = (c) => c === ' ' || (c >= '\t' && c <= '\r');
const quoted = (c) => (c === '\0' ? 'a NUL byte' : JSON.stringify(c));

// miss: { text (the bytes of the piece), items, stop, expected }. Returns the reason in words.
function nearMissReason(miss) {
  const text = byteString(miss.text);
  const before = text.slice(0, miss.stop);
  const rest = text.slice(miss.stop);
  const restIsBlank = [...rest].every(isSpace);
  const key = CAMERA_KEYS[miss.items - 1];
  const lastItem = /([a-z]+=[ \t\v\f\r\n]*[+-]?[0-9]+)[ \t\v\f\r\n]*$/.exec(before);
  const after = miss.items >= 2 && lastItem ? 'after ' + lastItem[1] : 'after the name';

  switch (miss.expected) {
    case EXPECTED.name:
      return rest.startsWith('"') ? 'the name is empty' : 'the line ends after the opening quote';
    case EXPECTED.closingQuote:
      return rest.startsWith('\0') ? 'a NUL byte ends the line inside the name' : 'the closing quote is missing';
    case EXPECTED.key: {
      if (restIsBlank) return `${key} is missing ${after}`;
      if (new RegExp(`^${key}[ \\t\\v\\f\\r\\n]+=`).test(rest)) return `a space between ${key} and =`;
      if (rest.slice(0, key.length + 1).toLowerCase() === key + '=') {
        return `${rest.slice(0, key.length)} must be written in lower case: ${key}=`;
      }
      if (rest[0] === '.' && /[0-9]$/.test(before)) return `a decimal point ${after}: numbers are whole`;
      const found = /^([A-Za-z]+)[ \t\v\f\r\n]*=/.exec(rest);
      if (found) {
        if (CAMERA_KEYS.indexOf(found[1]) > miss.items - 1) return `${key} is missing ${after}`;
        return `${found[1]}= where ${key}= was expected`;
      }
      return `${key}= was expected ${after}, not ${quoted(rest[0])}`;
    }
    case EXPECTED.number: {
      const c = rest[0];
      if (restIsBlank || /[A-Za-z]/.test(c)) return `${key}= has no number`;
      if (c === '+' || c === '-') return `two signs before the number of ${key}`;
      if (isSpace(c)) return `a space between the sign and the number of ${key}`;
      return `the number of ${key} is missing: ${quoted(c)} where a digit was expected`;
    }
    default:
      return 'the line was read to its end';
  }
}
