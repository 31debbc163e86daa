// Bytes made into one Blob a part at a time, as they come: a Blob copies its bytes when it is
// made, and one made at the end of hundreds of MB held the page for up to half a second. A Blob
// made of Blobs copies none of them again.
'use strict';

const BLOB_PART_BYTES = 4 << 20;

class BlobParts {
  constructor() {
    this.blobs = [];    // of BLOB_PART_BYTES or more each
    this.pending = [];  // the bytes since
    this.held = 0;      // their length
  }

  // Appends `bytes`, which must stay as they are until they are in a Blob (at most 4 MB on).
  add(bytes) {
    this.pending.push(bytes);
    this.held += bytes.length;
    if (this.held >= BLOB_PART_BYTES) this.gather();
  }

  gather() {
    if (this.held > 0) this.blobs.push(new Blob(this.pending));
    this.pending = [];
    this.held = 0;
  }

  // All the bytes added.
  blob(options) {
    this.gather();
    return new Blob(this.blobs, options);
  }
}

if (typeof module === 'object') module.exports = { BlobParts };
