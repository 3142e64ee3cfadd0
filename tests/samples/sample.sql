-- tarvik: executable 8 comment 6 total 15
/*
   Sample schema.
   Don't forget: quotes in comments are fine.
*/
CREATE TABLE users (
    id      INTEGER PRIMARY KEY,  -- surrogate key
    name    VARCHAR(100) NOT NULL,
    note    VARCHAR(200) DEFAULT '-- not a comment'
);

INSERT INTO users (id, name) VALUES (1, 'O''Brien'); /* doubled quote */
SELECT id, name /* columns */ FROM users WHERE name <> '/*';
-- SELECT * FROM users; /* disabled query
SELECT COUNT(*) FROM users;
